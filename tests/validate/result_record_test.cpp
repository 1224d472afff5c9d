#include "validate/result_record.h"

#include "core/app_state.h"
#include "core/date_text.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/list_rows.h"
#include "support/sandbox.h"
#include "validate/anonymity.h"
#include "validate/result_buffer.h"
#include "validate/validation_run.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

std::string Record(int row, int suc,
                   const std::string& extra =
                       "statu=200;timeout=321;"
                       "http=True;https=False;"
                       "time=03-05 14:07:09;") {
  return "lvid=" + std::to_string(row) + ";suc=" + std::to_string(suc) + ";" + extra +
         "error=;errnum=0;";
}

class AddlvstrTest : public ::testing::Test {
 protected:
  AddlvstrTest() : state(window, dir.Dir()), runs(state) {
    for (int i = 0; i < 5; ++i) list().AppendRow({u"1.2.3.%1:80"_s.arg(i + 1)});
  }

  ProxyList& list() { return state.List(); }
  void Apply(const std::string& records) {
    buffer.Append(records);
    runs.Addlvstr(buffer);
  }
  QString Cell(int row, int cell) { return list().CellText(row, cell); }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  ValidationRuns runs;
  ResultBuffer buffer;
};

TEST_F(AddlvstrTest, AnAnonymityLevelGoesIntoTheProxyTypeOnlyWhenTheRecordHasOne) {
  for (int row = 1; row <= 3; ++row) test::SetCell(list(), row, kProxyType, u"透明(普通)"_s);
  ProbeOutcome judged;
  judged.suc = 5;
  judged.anonymity = kAnonymousLevel;
  ProbeOutcome unjudged;
  unjudged.suc = 5;
  ProbeOutcome failed;  // an error text may hold anything
  failed.failed = true;
  failed.error = "bad;errnum=1;anon=高匿;";
  failed.error_number = 7;
  const std::string record = WriteResultRecord(list().IdOf(1), judged);
  EXPECT_TRUE(record.ends_with(";error=;errnum=0;anon=普通匿名;")) << record;
  Apply(record + "\r\n" + WriteResultRecord(list().IdOf(2), unjudged) + "\r\n" +
        WriteResultRecord(list().IdOf(3), failed));
  EXPECT_EQ(Cell(1, kProxyType), u"普通匿名"_s);
  EXPECT_EQ(Cell(2, kProxyType), u"透明(普通)"_s);
  EXPECT_EQ(Cell(3, kProxyType), u"透明(普通)"_s);
  EXPECT_EQ(Cell(1, kTestResult), u"成 功"_s);
}

TEST_F(AddlvstrTest, EveryAppliedResultIsCountedByWhereItFailedAndHowLongItTook) {
  const auto outcome = [](int suc, long ms, std::string error) {
    ProbeOutcome o;
    o.suc = suc;
    o.elapsed_ms = ms;
    o.failed = !error.empty();
    o.error = std::move(error);
    return o;
  };
  const auto record = [&](int row, const ProbeOutcome& o) {
    return WriteResultRecord(static_cast<int64_t>(list().IdOf(row)), o) + "\r\n";
  };
  Apply(record(1, outcome(5, 40, {})) + record(2, outcome(0, 5000, "连接超时: 5000 ms")) +
        record(3, outcome(0, 120, "连接被拒绝")) + record(4, outcome(0, 900, "something else")) +
        record(5, outcome(5, 99999999, {})) + "lvid=77;suc=1;timeout=10;error=;errnum=0;\r\n");
  const ProbeTally& tally = runs.Probes();
  EXPECT_EQ(tally.Successes(), 2);
  EXPECT_EQ(tally.Failures(FailurePhase::kConnectTimeout), 1);
  EXPECT_EQ(tally.Failures(FailurePhase::kRefused), 1);
  EXPECT_EQ(tally.Failures(FailurePhase::kNone), 1);
  EXPECT_EQ(tally.Total(), 5);  // the record of a row that is gone counts nothing
  const auto& buckets = tally.Buckets();
  EXPECT_EQ(buckets[0], 1);                   // 40 ms: up to 50 ms
  EXPECT_EQ(buckets[2], 1);                   // 120 ms: up to 250 ms
  EXPECT_EQ(buckets[4], 1);                   // 900 ms: up to 1 s
  EXPECT_EQ(buckets[6], 1);                   // 5 s: up to 5 s
  EXPECT_EQ(buckets[buckets.size() - 1], 1);  // beyond the last bound
  EXPECT_EQ(tally.TotalMs(), 40 + 5000 + 120 + 900 + 24 * 3600 * 1000);
}

TEST_F(AddlvstrTest, WritesASuccessIntoItsRow) {
  Apply(Record(2, 37));
  EXPECT_EQ(Cell(2, kTestResult), u"成 功"_s);
  EXPECT_EQ(test::ResultColour(list(), 2), QColor(0, 255, 0));
  EXPECT_EQ(Cell(2, kProtocolStatus), u"200"_s);
  EXPECT_EQ(Cell(2, kHttpOk), u"True"_s);
  EXPECT_EQ(Cell(2, kHttpsOk), u"False"_s);
  EXPECT_EQ(Cell(2, kElapsedMs), u"321"_s);
  EXPECT_EQ(Cell(2, kTestedAt), u"03-05 14:07:09"_s);
  EXPECT_EQ(Cell(2, kTestCount), u"1"_s);
  EXPECT_EQ(Cell(2, kSuccessCount), u"1"_s);
  EXPECT_EQ(Cell(2, kSuccessRatio), u"100%"_s);
  EXPECT_TRUE(ParsesAsDateTime(Cell(2, kFirstTestedAt)));
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"1"_s);
  EXPECT_TRUE(Cell(1, kTestResult).isEmpty());
}

TEST_F(AddlvstrTest, AFailureAfterASuccessKeepsTheGreenAndHalvesTheRatio) {
  Apply(Record(1, 5));
  Apply(Record(1, 0));
  EXPECT_EQ(Cell(1, kTestResult), u"失 败"_s);
  EXPECT_EQ(test::ResultColour(list(), 1), QColor(0, 255, 0));
  EXPECT_EQ(Cell(1, kTestCount), u"2"_s);
  EXPECT_EQ(Cell(1, kSuccessCount), u"1"_s);
  EXPECT_EQ(Cell(1, kSuccessRatio), u"50%"_s);
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"1"_s);
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
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"0"_s);
}

TEST_F(AddlvstrTest, AnEmptyBufferLeavesTheListUntouched) {
  QSignalSpy changes(&list(), &QAbstractItemModel::dataChanged);
  runs.Addlvstr(buffer);
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
  test::SetCell(list(), 5, kTestCount, u"7"_s);
  test::SetCell(list(), 5, kSuccessCount, u"0"_s);
  Apply(Record(5, 1));
  EXPECT_EQ(Cell(5, kTestCount), u"8"_s);
  EXPECT_EQ(Cell(5, kSuccessRatio), u"12%"_s);
}

TEST_F(AddlvstrTest, FirstValidationTimeIsWrittenOnce) {
  test::SetCell(list(), 1, kFirstTestedAt, u"2024/3/5 14:07:09"_s);
  Apply(Record(1, 1) + "\r\n" + Record(2, 1));
  EXPECT_EQ(Cell(1, kFirstTestedAt), u"2024/3/5 14:07:09"_s);
  const QString first = Cell(2, kFirstTestedAt);
  EXPECT_TRUE(ParsesAsDateTime(first));
  // Clearing the result cells for a new run keeps it; clearing the cell itself refills it.
  for (int cell = kTestResult; cell <= kTestedAt; ++cell) test::SetCell(list(), 2, cell, {});
  Apply(Record(2, 0));
  EXPECT_EQ(Cell(2, kFirstTestedAt), first);
  test::SetCell(list(), 2, kFirstTestedAt, u"not a date"_s);
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
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"500"_s);
}

TEST(WriteResultRecord, NoLineBreakSurvivesInTheErrorText) {
  for (const char* error : {"a\r\nb", "a\r\r\n\nb", "\r\r\r\n\n\n", "a\rb\nc"}) {
    ProbeOutcome failed;
    failed.failed = true;
    failed.error = error;
    failed.error_number = 7;
    const std::string record = WriteResultRecord(3, failed);
    EXPECT_EQ(record.find("\r\n"), std::string::npos) << record;
    EXPECT_EQ(RecordField(record, "errnum="), "7");
    // One record is one line of the buffer.
    ProxyList list;
    list.AppendRows(std::vector<NewRow>(3));
    EXPECT_EQ(ApplyResultRecords(list, record + "\r\n"), 0);
    EXPECT_EQ(list.CellText(3, kTestResult), u"失 败"_s);
    EXPECT_EQ(list.CellText(3, kProtocolStatus), u"0"_s);
  }
}

TEST(ApplyResultRecords, ARecordFindsItsRowByIdentityOrNothing) {
  ProxyList list;
  list.AppendRows(std::vector<NewRow>(5));
  list.RemoveRows({true, false, true});  // ids 2, 4 and 5 stay, at rows 1, 2 and 3
  ASSERT_EQ(list.RowOf(4), 2);
  const std::string records =
      "lvid=4;suc=1;\r\nlvid=1;suc=1;\r\nlvid=3;suc=1;\r\nlvid=6;suc=1;\r\n"
      "lvid=-4;suc=1;\r\nlvid=1e300;suc=1;\r\n";
  EXPECT_EQ(ApplyResultRecords(list, records), 1);
  EXPECT_EQ(list.CellText(2, kTestResult), u"成 功"_s);
  EXPECT_TRUE(list.CellText(1, kTestResult).isEmpty());
  EXPECT_TRUE(list.CellText(3, kTestResult).isEmpty());
}

}  // namespace
}  // namespace ph
