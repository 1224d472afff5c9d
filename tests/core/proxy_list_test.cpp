#include "core/proxy_list.h"

#include "core/date_text.h"
#include "support/list_rows.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

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
  test::RemoveRow(list, 3);
  test::RemoveRow(list, 3);
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
  test::RemoveRow(list, 9);
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
  test::SetResultColour(list, 1, QColor(0, 255, 0));
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
