#include "core/proxy_list.h"

#include "core/app_state.h"
#include "core/date_text.h"
#include "core/result_buffer.h"
#include "support/fake_window.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

std::string Record(int row, int suc, const std::string& extra = "statu=200;timeout=321;"
                                                                 "http=True;https=False;"
                                                                 "time=03-05 14:07:09;") {
  return "lvid=" + std::to_string(row) + ";suc=" + std::to_string(suc) + ";" + extra +
         "error=;errnum=0;";
}

class AddlvstrTest : public ::testing::Test {
 protected:
  AddlvstrTest() : state(window, dir.Dir()) {
    for (int i = 0; i < 5; ++i) list().AppendRow({u"1.2.3.%1:80"_s.arg(i + 1)});
  }

  ProxyList& list() { return state.List(); }
  void Apply(const std::string& records) {
    buffer.Append(records);
    state.Addlvstr(buffer);
  }
  QString Cell(int row, int cell) { return list().CellText(row, cell); }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  ResultBuffer buffer;
};

TEST_F(AddlvstrTest, WritesASuccessIntoItsRow) {
  Apply(Record(2, 37));
  EXPECT_EQ(Cell(2, kTestResult), u"成 功"_s);
  EXPECT_EQ(list().ResultColour(2), QColor(0, 255, 0));
  EXPECT_EQ(Cell(2, kProtocolStatus), u"200"_s);
  EXPECT_EQ(Cell(2, kHttpOk), u"True"_s);
  EXPECT_EQ(Cell(2, kHttpsOk), u"False"_s);
  EXPECT_EQ(Cell(2, kElapsedMs), u"321"_s);
  EXPECT_EQ(Cell(2, kTestedAt), u"03-05 14:07:09"_s);
  EXPECT_EQ(Cell(2, kTestCount), u"1"_s);
  EXPECT_EQ(Cell(2, kSuccessCount), u"1"_s);
  EXPECT_EQ(Cell(2, kSuccessRatio), u"100%"_s);
  EXPECT_TRUE(ParsesAsDateTime(Cell(2, kFirstTestedAt)));
  EXPECT_EQ(window.Panel(kSuccessPanel), u"1"_s);
  EXPECT_TRUE(Cell(1, kTestResult).isEmpty());
}

TEST_F(AddlvstrTest, AFailureAfterASuccessKeepsTheGreenAndHalvesTheRatio) {
  Apply(Record(1, 5));
  Apply(Record(1, 0));
  EXPECT_EQ(Cell(1, kTestResult), u"失 败"_s);
  EXPECT_EQ(list().ResultColour(1), QColor(0, 255, 0));
  EXPECT_EQ(Cell(1, kTestCount), u"2"_s);
  EXPECT_EQ(Cell(1, kSuccessCount), u"1"_s);
  EXPECT_EQ(Cell(1, kSuccessRatio), u"50%"_s);
  EXPECT_EQ(window.Panel(kSuccessPanel), u"1"_s);
}

TEST_F(AddlvstrTest, TwoRecordsForOneRowInOneDrainAreBothApplied) {
  Apply(Record(3, 1, "statu=200;timeout=1;http=True;https=False;time=01-01 00:00:01;") + "\r\n" +
        Record(3, 0, "statu=404;timeout=2;http=True;https=False;time=01-01 00:00:02;"));
  EXPECT_EQ(Cell(3, kTestCount), u"2"_s);
  EXPECT_EQ(Cell(3, kSuccessCount), u"1"_s);
  EXPECT_EQ(Cell(3, kProtocolStatus), u"404"_s);  // buffer order: the later record wins
  EXPECT_EQ(Cell(3, kTestResult), u"失 败"_s);
}

TEST_F(AddlvstrTest, RecordsOutsideTheListAndLinesWithoutEqualsChangeNothing) {
  QSignalSpy changes(&list(), &QAbstractItemModel::dataChanged);
  Apply(Record(7, 1) + "\r\n" + Record(0, 1) + "\r\n" + Record(-1, 1) +
        "\r\nno equals sign here\r\n\r\nsuc=1;statu=200;\r\n");
  EXPECT_EQ(changes.count(), 0);
  for (int row = 1; row <= 5; ++row) EXPECT_TRUE(Cell(row, kTestCount).isEmpty());
  EXPECT_EQ(window.Panel(kSuccessPanel), u"0"_s);
}

TEST_F(AddlvstrTest, AnEmptyBufferLeavesTheListUntouched) {
  QSignalSpy changes(&list(), &QAbstractItemModel::dataChanged);
  state.Addlvstr(buffer);
  EXPECT_EQ(changes.count(), 0);
}

TEST_F(AddlvstrTest, RowNumbersRoundHalfToEven) {
  Apply("lvid=2.5;suc=1;\r\nlvid=3.5;suc=1;");
  EXPECT_EQ(Cell(2, kTestCount), u"1"_s);
  EXPECT_TRUE(Cell(3, kTestCount).isEmpty());
  EXPECT_EQ(Cell(4, kTestCount), u"1"_s);
}

TEST_F(AddlvstrTest, MissingKeysReadAsNothing) {
  Apply("lvid=4;");
  EXPECT_EQ(Cell(4, kTestResult), u"失 败"_s);  // no suc: a failure
  for (const int cell : {kProtocolStatus, kHttpOk, kHttpsOk, kElapsedMs, kTestedAt})
    EXPECT_EQ(Cell(4, cell), u"Nothing"_s);
  EXPECT_EQ(Cell(4, kSuccessRatio), u"0%"_s);
}

TEST_F(AddlvstrTest, OneSuccessInEightTestsIsTwelvePercent) {
  list().SetCellText(5, kTestCount, u"7"_s);
  list().SetCellText(5, kSuccessCount, u"0"_s);
  Apply(Record(5, 1));
  EXPECT_EQ(Cell(5, kTestCount), u"8"_s);
  EXPECT_EQ(Cell(5, kSuccessRatio), u"12%"_s);
}

TEST_F(AddlvstrTest, FirstValidationTimeIsWrittenOnce) {
  list().SetCellText(1, kFirstTestedAt, u"2024/3/5 14:07:09"_s);
  Apply(Record(1, 1) + "\r\n" + Record(2, 1));
  EXPECT_EQ(Cell(1, kFirstTestedAt), u"2024/3/5 14:07:09"_s);
  const QString first = Cell(2, kFirstTestedAt);
  EXPECT_TRUE(ParsesAsDateTime(first));
  // Clearing the result cells for a new run keeps it; clearing the cell itself refills it.
  for (int cell = kTestResult; cell <= kTestedAt; ++cell) list().SetCellText(2, cell, {});
  Apply(Record(2, 0));
  EXPECT_EQ(Cell(2, kFirstTestedAt), first);
  list().SetCellText(2, kFirstTestedAt, u"not a date"_s);
  Apply(Record(2, 0));
  EXPECT_TRUE(ParsesAsDateTime(Cell(2, kFirstTestedAt)));
}

TEST_F(AddlvstrTest, ALargeDrainIsOneViewUpdate) {
  for (int i = 0; i < 995; ++i) list().AppendRow({u"9.9.9.9:1"_s});
  std::string records;
  for (int row = 1; row <= 1000; ++row) records += Record(row, row % 2) + "\r\n";
  QSignalSpy changes(&list(), &QAbstractItemModel::dataChanged);
  Apply(records);
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(changes.at(0).at(0).value<QModelIndex>().row(), 0);
  EXPECT_EQ(changes.at(0).at(1).value<QModelIndex>().row(), 999);
  EXPECT_EQ(window.Panel(kSuccessPanel), u"500"_s);
}

TEST(DateText, GeneralFormReadsBack) {
  const QDateTime when(QDate(2026, 12, 7), QTime(4, 22, 19));
  EXPECT_EQ(GeneralDateTimeText(when), u"2026/12/7 4:22:19"_s);
  EXPECT_TRUE(ParsesAsDateTime(u"2026/12/7 4:22:19"_s));
  EXPECT_TRUE(ParsesAsDateTime(u"2026-12-07 04:22:19"_s));
  EXPECT_TRUE(ParsesAsDateTime(u"2026-12-07T04:22:19"_s));
  EXPECT_FALSE(ParsesAsDateTime(u""_s));
  EXPECT_FALSE(ParsesAsDateTime(u"Nothing"_s));
  EXPECT_FALSE(ParsesAsDateTime(u"2026/13/7 4:22:19"_s));
  EXPECT_FALSE(ParsesAsDateTime(u"2026/2/30"_s));
  EXPECT_FALSE(ParsesAsDateTime(u"2026/12/7 25:00"_s));
}

TEST(ProxyList, IndexIsTheRowCountPlusOneAtAppend) {
  ProxyList list;
  QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
  for (int i = 0; i < 14; ++i) list.AppendRow({u"10.0.0.%1:80"_s.arg(i)});
  list.RemoveRow(3);
  list.RemoveRow(3);
  ASSERT_EQ(list.RowCount(), 12);
  EXPECT_EQ(list.CellText(12, kIndex), u"14"_s);
  EXPECT_EQ(list.AppendRow({u"1.1.1.1:1"_s, u"北京"_s}), 13);
  EXPECT_EQ(list.CellText(13, kIndex), u"13"_s);
  EXPECT_EQ(list.CellText(13, kRegion), u"北京"_s);
  EXPECT_EQ(list.CellText(3, kAddress), u"10.0.0.4:80"_s);  // later rows moved up

  list.AppendRows({{u"2.2.2.2:2"_s}, {u"3.3.3.3:3"_s}});
  EXPECT_EQ(list.CellText(14, kIndex), u"14"_s);
  EXPECT_EQ(list.CellText(15, kIndex), u"15"_s);
  list.Clear();
  EXPECT_EQ(list.RowCount(), 0);
}

TEST(ProxyList, OutOfRangeAccessIsHarmless) {
  ProxyList list;
  list.AppendRow({u"1.1.1.1:1"_s});
  EXPECT_EQ(list.CellText(0, kAddress), QString());
  EXPECT_EQ(list.CellText(2, kAddress), QString());
  EXPECT_EQ(list.CellText(1, 14), QString());
  list.SetCellText(5, kAddress, u"x"_s);
  list.RemoveRow(9);
  list.SetSelected(0, true);
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_FALSE(list.Selected(0));
}

TEST(ProxyList, ShowsCaptionsAndTheResultColour) {
  ProxyList list;
  list.AppendRow({u"1.1.1.1:1"_s});
  EXPECT_EQ(list.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), u"IP及端口"_s);
  EXPECT_EQ(list.headerData(13, Qt::Horizontal, Qt::DisplayRole).toString(), u"初次验证时间"_s);
  EXPECT_FALSE(list.data(list.index(0, kTestResult), Qt::ForegroundRole).isValid());
  list.SetResultColour(1, QColor(0, 255, 0));
  EXPECT_EQ(list.data(list.index(0, kTestResult), Qt::ForegroundRole).value<QColor>(),
            QColor(0, 255, 0));
}

TEST(ProxyList, SelectionFlagsNotifyOnceForARange) {
  ProxyList list;
  for (int i = 0; i < 10; ++i) list.AppendRow();
  QSignalSpy spy(&list, &QAbstractItemModel::dataChanged);
  list.SetSelectedRange(0, 20, true);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).value<QModelIndex>().row(), 0);
  EXPECT_EQ(spy.at(0).at(1).value<QModelIndex>().row(), 9);
  EXPECT_EQ(spy.at(0).at(2).value<QList<int>>(), QList<int>{ProxyList::kSelectedRole});
  list.SetSelected(4, false);
  EXPECT_FALSE(list.Selected(4));
  EXPECT_TRUE(list.Selected(5));
  EXPECT_TRUE(list.data(list.index(4, 7), ProxyList::kSelectedRole).toBool());
  EXPECT_FALSE(list.data(list.index(3, 7), ProxyList::kSelectedRole).toBool());

  list.SelectOnly(2, 3);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2, 3}));
  list.InvertSelection();
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 4, 5, 6, 7, 8, 9, 10}));
  list.SelectWhere([](int row) { return row == 3; });
  EXPECT_EQ(list.SelectedRows().size(), 9u);
}

}  // namespace
}  // namespace ph
