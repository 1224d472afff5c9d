#include "validate/validation_run.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/list_rows.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"
#include "validate/result_buffer.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QString kDone = u"所有验证线程命令已执行完毕,如有未显示的结果,请手动再次验证即可!"_s;
const QString kWait = u"请等待线程执行完毕.."_s;

// Fake proxies of every kind: answering with the match text, without it, refusing, silent.
class Farm {
 public:
  Farm() {
    matching = farm.Add({"ok [1.2.3.4]", 0, false}, 4);
    plain = farm.Add({"no bracket here", 0, false}, 2);
    slow = farm.Add({"slow [5.6.7.8]", 400, false}, 2);
    silent = farm.Add({"", 0, true}, 2);
    farm.Start();
    refusing = {"127.0.0.1:" + std::to_string(test::ClosedPort())};
  }

  test::ProxyFarm farm;
  std::vector<std::string> matching, plain, slow, silent, refusing;
};

class ValidationRunTest : public ::testing::Test {
 protected:
  ValidationRunTest() : state(window, dir.Dir()), runs(state) {
    state.Startup();
    // Every row's proxy is on the farm, which answers whatever the URL; a silent proxy ends
    // after a short time-out.
    state.Config().SetText(&SettingsPanel::Text2, u"600"_s);
    state.ApplySettings();
  }
  ~ValidationRunTest() override {
    // No worker may outlive the test's farm.
    runs.ClearTestRunning();
    test::WaitFor([&] { return runs.ProbesInFlight() == 0; }, 20000);
  }

  void AddRows(const std::vector<std::string>& addresses, int count) {
    for (int i = 0; i < count; ++i)
      list().AppendRow(
          {QString::fromStdString(addresses[static_cast<std::size_t>(i) % addresses.size()])});
  }
  ProxyList& list() { return state.List(); }
  bool Finished() const { return state.StatusBar().Text() == kDone; }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  test::StatusLog log{state.StatusBar()};
  ValidationRuns runs;
};

TEST_F(ValidationRunTest, ARunValidatesEveryRowOnceAndCompletes) {
  Farm farm;
  std::vector<std::string> mixed;
  for (const auto* group : {&farm.matching, &farm.plain, &farm.refusing, &farm.silent})
    mixed.insert(mixed.end(), group->begin(), group->end());
  AddRows(mixed, 250);

  ValidationRuns& counted = runs;
  counted.ValidateAll();
  EXPECT_EQ(counted.Engine().Concurrency(), 100);  // TestThreads
  EXPECT_EQ(log.history.first(), u"开始验证..."_s);
  EXPECT_TRUE(runs.TestRunning());
  EXPECT_TRUE(counted.Timer3().isActive());
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 30000));

  EXPECT_TRUE(log.history.contains(u"需验证: 250 已验证:250"_s));
  EXPECT_TRUE(std::any_of(log.history.begin(), log.history.end(),
                          [](const QString& s) { return s.startsWith(u"需验证: 250 已验证:"_s); }));
  EXPECT_FALSE(runs.TestRunning());
  EXPECT_FALSE(counted.Timer3().isActive());
  int successes = 0;
  for (int row = 1; row <= 250; ++row) {
    EXPECT_EQ(list().CellText(row, kTestCount), u"1"_s) << row;
    const QString address = list().CellText(row, kAddress);
    const bool matching = std::find(farm.matching.begin(), farm.matching.end(),
                                    address.toStdString()) != farm.matching.end();
    EXPECT_EQ(list().CellText(row, kTestResult), matching ? u"成 功"_s : u"失 败"_s) << row;
    successes += matching;
  }
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), QString::number(successes));
  EXPECT_EQ(counted.ProbesInFlight(), 0);
}

TEST_F(ValidationRunTest, StopEndsWorkersAndAStoppedRunNeverReachesTheNextOne) {
  Farm farm;
  AddRows(farm.slow, 60);
  state.Config().SetText(&SettingsPanel::Text3, u"20"_s);
  state.ApplySettings();
  runs.ValidateAll();  // 20 workers of three 400 ms probes each
  ASSERT_TRUE(test::WaitFor([&] { return runs.CurrentRun()->validated_count > 0; }, 5000));
  runs.StopValidation();
  EXPECT_EQ(state.StatusBar().Text(), u"停止验证..."_s);
  EXPECT_FALSE(runs.TestRunning());
  EXPECT_FALSE(runs.Timer3().isActive());
  const std::shared_ptr<RunState> stopped = runs.CurrentRun();
  // The stop reaches into the probes under way: the workers end at once.
  ASSERT_TRUE(test::WaitFor([&] { return runs.ProbesInFlight() == 0; }, 1000));
  EXPECT_LE(stopped->validated_count, 40);
  test::WaitFor([] { return false; }, 600);  // the last late results are drained

  // What the stopped run had found is in its rows; a new run starts from a clean count and
  // nothing of the stopped run reaches it.
  int shown = 0;
  for (int row = 1; row <= 60; ++row) shown += !list().CellText(row, kTestResult).isEmpty();
  EXPECT_EQ(shown, stopped->validated_count);
  state.Config().SetText(&SettingsPanel::Text3, u"100"_s);
  state.ApplySettings();
  for (int row = 1; row <= list().RowCount(); ++row) test::SetCell(list(), row, kTestCount, u"0"_s);
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 30000));
  test::WaitFor([] { return false; }, 300);  // ticks that could apply a stray record
  for (int row = 1; row <= 60; ++row) EXPECT_EQ(list().CellText(row, kTestCount), u"1"_s) << row;
}

TEST_F(ValidationRunTest, StopEndsProbesOfTricklingProxiesAtOnce) {
  test::StreamServer trickle("[", 200);  // each probe would take twice the 5 s time-out
  AddRows({trickle.Address()}, 8);
  state.Config().SetText(&SettingsPanel::Text2, u"5000"_s);
  state.ApplySettings();
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return runs.ProbesInFlight() == 8; }, 2000));
  test::WaitFor([] { return false; }, 300);
  runs.StopValidation();
  const long long ms = test::TimeMs(
      [&] { EXPECT_TRUE(test::WaitFor([&] { return runs.ProbesInFlight() == 0; }, 1000)); });
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(runs.CurrentRun()->validated_count, 0);  // cut off, not failed
  for (int row = 1; row <= 8; ++row) EXPECT_TRUE(list().CellText(row, kTestResult).isEmpty());
}

TEST_F(ValidationRunTest, ResultsFindTheirRowsWhenRowsMoveDuringARun) {
  Farm farm;
  // A refused proxy, its duplicate, and a working one that answers after 400 ms.
  AddRows(farm.refusing, 2);
  AddRows(farm.slow, 1);
  runs.ValidateAll();
  list().RemoveRows({false, true});  // as "去除重复" does: the working proxy moves up to row 2
  ASSERT_EQ(list().RowCount(), 2);
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 10000));
  EXPECT_EQ(list().CellText(1, kTestResult), u"失 败"_s);
  EXPECT_EQ(list().CellText(2, kAddress), QString::fromStdString(farm.slow[0]));
  EXPECT_EQ(list().CellText(2, kTestResult), u"成 功"_s);
  EXPECT_EQ(list().CellText(1, kTestCount), u"1"_s);
  EXPECT_EQ(list().CellText(2, kTestCount), u"1"_s);
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"1"_s);

  // After the list is cleared and filled again, a late record finds no row at all.
  list().Clear();
  AddRows(farm.matching, 1);
  ResultBuffer late;
  late.Append("lvid=1;suc=1;statu=200;timeout=1;http=True;https=False;time=x;error=;errnum=0;");
  runs.Addlvstr(late);
  EXPECT_TRUE(list().CellText(1, kTestResult).isEmpty());
}

TEST_F(ValidationRunTest, AStopAppliesWhatWasProbedSinceTheLastTick) {
  Farm farm;
  AddRows(farm.matching, 3);
  AddRows(farm.silent, 2);  // keeps the run going past the stop
  runs.ValidateAll();
  // The three answers are in, and no tick (every 500 ms) has applied them yet.
  ASSERT_TRUE(test::WaitFor([&] { return runs.CurrentRun()->validated_count == 3; }, 400));
  ASSERT_TRUE(list().CellText(1, kTestResult).isEmpty());
  runs.StopValidation();
  for (int row = 1; row <= 3; ++row) EXPECT_EQ(list().CellText(row, kTestResult), u"成 功"_s);
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"3"_s);
  for (int row = 4; row <= 5; ++row) EXPECT_TRUE(list().CellText(row, kTestResult).isEmpty());
}

TEST_F(ValidationRunTest, ARunIsRefusedWhileEnoughWorkersAreActive) {
  Farm farm;
  AddRows(farm.silent, 4);
  state.Config().SetText(&SettingsPanel::Text3, u"2"_s);
  state.ApplySettings();
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return runs.ProbesInFlight() == 2; }, 2000));
  test::SetCell(list(), 1, kTestResult, u"kept"_s);
  state.StatusBar().SetSuccesses(7);
  const auto run = runs.CurrentRun();
  runs.ValidateAll();
  EXPECT_EQ(state.StatusBar().Text(), kWait);
  EXPECT_EQ(runs.CurrentRun(), run);
  EXPECT_EQ(list().CellText(1, kTestResult), u"kept"_s);
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"7"_s);
  runs.StopValidation();
}

TEST_F(ValidationRunTest, ARunCommandWhileALargeListIsPreparedIsRefused) {
  list().AppendRows(std::vector<NewRow>(10001, NewRow{u"127.0.0.1:1"_s}));
  runs.ValidateAll();
  EXPECT_TRUE(runs.HandingOut());
  const auto before = runs.CurrentRun();
  runs.ValidateAll();  // a second command before the first run has started
  EXPECT_EQ(state.StatusBar().Text(), kWait);
  ASSERT_TRUE(test::WaitFor([&] { return !runs.HandingOut(); }, 5000));
  EXPECT_NE(runs.CurrentRun(), before);
  EXPECT_EQ(runs.CurrentRun()->to_validate_count, 10001);
  runs.StopValidation();
}

TEST_F(ValidationRunTest, NothingSelectedOrAnEmptyListStartsNothing) {
  runs.ValidateAll();
  EXPECT_EQ(runs.CurrentRun(), nullptr);
  list().AppendRow({u"127.0.0.1:1"_s});
  runs.ValidateSelected();
  EXPECT_EQ(runs.CurrentRun(), nullptr);
  EXPECT_TRUE(log.history.isEmpty());
  EXPECT_FALSE(runs.Timer3().isActive());
  EXPECT_EQ(runs.Timer3().interval(), 500);
}

TEST_F(ValidationRunTest, ValidateSelectedTakesOnlySelectedRowsAndClearsTheirResults) {
  Farm farm;
  state.Config().SetText(&SettingsPanel::Text2, u"20000"_s);
  state.ApplySettings();
  for (int i = 0; i < 5; ++i) {
    list().AppendRow({QString::fromStdString(farm.silent[0])});
    for (int cell = kTestResult; cell <= kFirstTestedAt; ++cell)
      test::SetCell(list(), i + 1, cell, u"x"_s);
  }
  list().SetSelected(2, true);
  list().SetSelected(5, true);
  runs.ValidateSelected();
  EXPECT_EQ(runs.CurrentRun()->to_validate_count, 2);
  ASSERT_TRUE(test::WaitFor([&] { return runs.ProbesInFlight() == 2; }, 2000));
  for (int cell = kTestResult; cell <= kTestedAt; ++cell) {
    EXPECT_TRUE(list().CellText(2, cell).isEmpty());
    EXPECT_EQ(list().CellText(1, cell), u"x"_s);
  }
  for (int cell = kTestCount; cell <= kFirstTestedAt; ++cell)
    EXPECT_EQ(list().CellText(2, cell), u"x"_s);
  EXPECT_EQ(state.StatusBar().Successes(), 0);
  runs.StopValidation();
}

TEST_F(ValidationRunTest, LargeListsShowBothStagesAndRaiseTheTickInterval) {
  const QString refused = u"127.0.0.1:%1"_s.arg(test::ClosedPort());
  auto run_of = [&](int rows) {
    list().Clear();
    list().AppendRows(std::vector<NewRow>(static_cast<std::size_t>(rows), NewRow{refused}));
    log.history.clear();
    runs.ValidateAll();
    EXPECT_TRUE(test::WaitFor([&] { return log.history.contains(u"开始验证..."_s); }, 5000));
    runs.StopValidation();
  };
  run_of(30001);
  EXPECT_EQ(log.history.mid(0, 3),
            QStringList({u"正在进行数据分页..."_s, u"正在进行数据合并..."_s, u"开始验证..."_s}));
  EXPECT_EQ(runs.Timer3().interval(), 700);
  run_of(10);
  EXPECT_EQ(runs.Timer3().interval(), 700);  // never lowered
  EXPECT_EQ(log.history.first(), u"开始验证..."_s);
  run_of(100001);
  EXPECT_EQ(runs.Timer3().interval(), 1500);
}

class SuccessFilterTest : public ValidationRunTest {
 protected:
  void AddRow(const QString& tests, const QString& ratio) {
    const int row = list().AppendRow({u"1.1.1.1:%1"_s.arg(list().RowCount() + 1)});
    test::SetCell(list(), row, kTestCount, tests);
    test::SetCell(list(), row, kSuccessRatio, ratio);
  }
  QStringList Remaining() {
    QStringList left;
    for (int row = 1; row <= list().RowCount(); ++row) left << list().CellText(row, kAddress);
    return left;
  }
};

TEST_F(SuccessFilterTest, RemovesRowsWithEnoughTestsAndTooLowARatio) {
  AddRow(u"3"_s, u"33%"_s);  // removed
  AddRow(u"2"_s, u"0%"_s);   // too few tests: kept
  AddRow(u"4"_s, u"50%"_s);  // exactly the minimum: kept
  AddRow(u""_s, u""_s);      // never validated: kept
  AddRow(u"9"_s, u"49%"_s);  // removed
  runs.SuccessFilter();
  EXPECT_EQ(Remaining(), QStringList({u"1.1.1.1:2"_s, u"1.1.1.1:3"_s, u"1.1.1.1:4"_s}));
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"3"_s);
}

TEST_F(SuccessFilterTest, MinimumTestsZeroAlsoRemovesNeverValidatedRows) {
  state.Config().SetText(&SettingsPanel::Text18, u"0"_s);
  AddRow(u""_s, u""_s);
  AddRow(u"1"_s, u"100%"_s);
  runs.SuccessFilter();
  EXPECT_EQ(Remaining(), QStringList({u"1.1.1.1:2"_s}));
}

TEST_F(SuccessFilterTest, ManyScatteredRemovalsKeepOrderAndSelection) {
  for (int i = 0; i < 1000; ++i) AddRow(u"5"_s, i % 3 == 0 ? u"10%"_s : u"90%"_s);
  list().SetSelected(2, true);
  runs.SuccessFilter();
  ASSERT_EQ(list().RowCount(), 666);
  EXPECT_EQ(list().CellText(1, kAddress), u"1.1.1.1:2"_s);
  EXPECT_EQ(list().CellText(2, kAddress), u"1.1.1.1:3"_s);
  EXPECT_TRUE(list().Selected(1));
}

TEST_F(SuccessFilterTest, RunsAtCompletionWhenSwitchedOn) {
  Farm farm;
  AddRows(farm.plain, 3);
  for (int row = 1; row <= 3; ++row) test::SetCell(list(), row, kTestCount, u"2"_s);
  AddRows(farm.matching, 1);
  state.Config().SetCheck(&SettingsPanel::Check8, 1);
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 20000));
  ASSERT_EQ(list().RowCount(), 1);
  EXPECT_EQ(list().CellText(1, kTestResult), u"成 功"_s);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"1"_s);
}

TEST_F(ValidationRunTest, TheWorkerPanelFollowsTheTimer) {
  Farm farm;
  AddRows(farm.silent, 3);  // each worker waits out the 600 ms time-out
  runs.ValidateAll();
  ASSERT_TRUE(
      test::WaitFor([&] { return QString::number(state.StatusBar().Workers()) == u"3"_s; }, 5000));
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 10000));
  EXPECT_EQ(list().CellText(1, kTestResult), u"失 败"_s);
}

}  // namespace
}  // namespace ph
