#include "validate/validation_run.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/fake_launcher.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
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
    test::WaitFor([&] { return runs.Shared()->active_workers == 0; }, 20000);
  }

  void AddRows(const std::vector<std::string>& addresses, int count) {
    for (int i = 0; i < count; ++i)
      list().AppendRow(
          {QString::fromStdString(addresses[static_cast<std::size_t>(i) % addresses.size()])});
  }
  ProxyList& list() { return state.List(); }
  bool Finished() const { return window.Panel(kStatusPanel) == kDone; }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  ValidationRuns runs;
};

TEST_F(ValidationRunTest, ARunValidatesEveryRowOnceAndCompletes) {
  Farm farm;
  std::vector<std::string> mixed;
  for (const auto* group : {&farm.matching, &farm.plain, &farm.refusing, &farm.silent})
    mixed.insert(mixed.end(), group->begin(), group->end());
  AddRows(mixed, 250);

  int launched = 0;
  ValidationRuns counted(state, [&](std::function<void()> body) {
    ++launched;
    return LaunchDetachedThread(std::move(body));
  });
  counted.ValidateAll();
  EXPECT_EQ(launched, 84);
  EXPECT_EQ(window.status_history.first(), u"开始验证..."_s);
  EXPECT_TRUE(window.menu_visible.at(MenuItem::StopTest));
  EXPECT_TRUE(counted.Timer3().isActive());
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 30000));

  EXPECT_TRUE(window.status_history.contains(u"需验证: 250 已验证:250"_s));
  EXPECT_TRUE(std::any_of(window.status_history.begin(), window.status_history.end(),
                          [](const QString& s) { return s.startsWith(u"需验证: 250 已验证:"_s); }));
  EXPECT_FALSE(window.menu_visible.at(MenuItem::StopTest));
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
  EXPECT_EQ(window.Panel(kSuccessPanel), QString::number(successes));
  EXPECT_EQ(counted.Shared()->active_workers, 0);
}

TEST_F(ValidationRunTest, StopEndsWorkersAndAStoppedRunNeverReachesTheNextOne) {
  Farm farm;
  AddRows(farm.slow, 60);
  state.Config().SetText(&SettingsPanel::Text3, u"20"_s);
  state.ApplySettings();
  runs.ValidateAll();  // 20 workers of three 400 ms probes each
  ASSERT_TRUE(test::WaitFor([&] { return runs.CurrentRun()->validated_count > 0; }, 5000));
  runs.StopValidation();
  EXPECT_EQ(window.Panel(kStatusPanel), u"停止验证..."_s);
  EXPECT_FALSE(window.menu_visible.at(MenuItem::StopTest));
  EXPECT_FALSE(runs.Timer3().isActive());
  const std::shared_ptr<RunState> stopped = runs.CurrentRun();
  // The stop reaches into the probes under way: the workers end at once.
  ASSERT_TRUE(test::WaitFor([&] { return runs.Shared()->active_workers == 0; }, 1000));
  EXPECT_LE(stopped->validated_count, 40);
  test::WaitFor([] { return false; }, 600);  // the last late results are drained

  // What the stopped run had found is in its rows; a new run starts from a clean count and
  // nothing of the stopped run reaches it.
  int shown = 0;
  for (int row = 1; row <= 60; ++row) shown += !list().CellText(row, kTestResult).isEmpty();
  EXPECT_EQ(shown, stopped->validated_count);
  state.Config().SetText(&SettingsPanel::Text3, u"100"_s);
  state.ApplySettings();
  for (int row = 1; row <= list().RowCount(); ++row) list().SetCellText(row, kTestCount, u"0"_s);
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
  ASSERT_TRUE(test::WaitFor([&] { return runs.Shared()->active_workers == 8; }, 2000));
  test::WaitFor([] { return false; }, 300);
  runs.StopValidation();
  const long long ms = test::TimeMs([&] {
    EXPECT_TRUE(test::WaitFor([&] { return runs.Shared()->active_workers == 0; }, 1000));
  });
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
  EXPECT_EQ(window.Panel(kSuccessPanel), u"1"_s);

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
  EXPECT_EQ(window.Panel(kSuccessPanel), u"3"_s);
  for (int row = 4; row <= 5; ++row) EXPECT_TRUE(list().CellText(row, kTestResult).isEmpty());
}

TEST_F(ValidationRunTest, ARunIsRefusedWhileEnoughWorkersAreActive) {
  Farm farm;
  AddRows(farm.silent, 4);
  state.Config().SetText(&SettingsPanel::Text3, u"2"_s);
  state.ApplySettings();
  runs.ValidateAll();
  ASSERT_EQ(runs.Shared()->active_workers, 2);
  list().SetCellText(1, kTestResult, u"kept"_s);
  state.StatusBar().SetSuccesses(7);
  const auto run = runs.CurrentRun();
  runs.ValidateAll();
  EXPECT_EQ(window.Panel(kStatusPanel), kWait);
  EXPECT_EQ(runs.CurrentRun(), run);
  EXPECT_EQ(list().CellText(1, kTestResult), u"kept"_s);
  EXPECT_EQ(window.Panel(kSuccessPanel), u"7"_s);
  runs.StopValidation();
}

TEST_F(ValidationRunTest, ARunCommandDuringHandOutIsRefused) {
  for (int i = 0; i < 10; ++i) list().AppendRow({u"127.0.0.1:1"_s});
  test::FakeLauncher launcher;
  bool refused_inside = false;
  ValidationRuns nested(state, [&](std::function<void()> body) {
    if (launcher.bodies.size() == 1) {
      nested.ValidateAll();
      refused_inside = window.Panel(kStatusPanel) == kWait;
    }
    return launcher.Launch(std::move(body));
  });
  nested.ValidateAll();
  EXPECT_TRUE(refused_inside);
  EXPECT_FALSE(nested.HandingOut());
  EXPECT_EQ(launcher.bodies.size(), 10u);
  launcher.Discard(*nested.Shared(), *nested.CurrentRun());
}

TEST_F(ValidationRunTest, NothingSelectedOrAnEmptyListStartsNothing) {
  runs.ValidateAll();
  EXPECT_EQ(runs.CurrentRun(), nullptr);
  list().AppendRow({u"127.0.0.1:1"_s});
  runs.ValidateSelected();
  EXPECT_EQ(runs.CurrentRun(), nullptr);
  EXPECT_TRUE(window.status_history.isEmpty());
  EXPECT_FALSE(runs.Timer3().isActive());
  EXPECT_EQ(runs.Timer3().interval(), 500);
}

TEST_F(ValidationRunTest, ValidateSelectedTakesOnlySelectedRowsAndClearsTheirResults) {
  test::FakeLauncher launcher;
  ValidationRuns recorded(
      state, [&](std::function<void()> body) { return launcher.Launch(std::move(body)); });
  for (int i = 0; i < 5; ++i) {
    list().AppendRow({u"127.0.0.1:%1"_s.arg(i + 1)});
    for (int cell = kTestResult; cell <= kFirstTestedAt; ++cell)
      list().SetCellText(i + 1, cell, u"x"_s);
  }
  list().SetSelected(2, true);
  list().SetSelected(5, true);
  recorded.ValidateSelected();
  EXPECT_EQ(recorded.CurrentRun()->to_validate_count, 2);
  EXPECT_EQ(launcher.bodies.size(), 2u);
  for (int cell = kTestResult; cell <= kTestedAt; ++cell) {
    EXPECT_TRUE(list().CellText(2, cell).isEmpty());
    EXPECT_EQ(list().CellText(1, cell), u"x"_s);
  }
  for (int cell = kTestCount; cell <= kFirstTestedAt; ++cell)
    EXPECT_EQ(list().CellText(2, cell), u"x"_s);
  EXPECT_EQ(window.Panel(kSuccessPanel), u"0"_s);
  launcher.Discard(*recorded.Shared(), *recorded.CurrentRun());
}

TEST_F(ValidationRunTest, LargeListsShowBothStagesAndRaiseTheTickInterval) {
  test::FakeLauncher launcher;
  ValidationRuns recorded(
      state, [&](std::function<void()> body) { return launcher.Launch(std::move(body)); });
  std::vector<NewRow> rows(30001, NewRow{u"127.0.0.1:1"_s});
  list().AppendRows(rows);
  recorded.ValidateAll();
  EXPECT_EQ(window.status_history.mid(0, 3),
            QStringList({u"正在进行数据分页..."_s, u"正在进行数据合并..."_s, u"开始验证..."_s}));
  EXPECT_EQ(recorded.Timer3().interval(), 700);
  EXPECT_EQ(launcher.bodies.size(), 100u);
  launcher.Discard(*recorded.Shared(), *recorded.CurrentRun());
  recorded.StopValidation();

  list().Clear();
  list().AppendRows(std::vector<NewRow>(10, NewRow{u"127.0.0.1:1"_s}));
  window.status_history.clear();
  recorded.ValidateAll();
  EXPECT_EQ(recorded.Timer3().interval(), 700);  // never lowered
  EXPECT_EQ(window.status_history.first(), u"开始验证..."_s);
  launcher.Discard(*recorded.Shared(), *recorded.CurrentRun());
  recorded.StopValidation();

  list().AppendRows(std::vector<NewRow>(100001, NewRow{u"127.0.0.1:1"_s}));
  recorded.ValidateAll();
  EXPECT_EQ(recorded.Timer3().interval(), 1500);
  launcher.Discard(*recorded.Shared(), *recorded.CurrentRun());
  recorded.StopValidation();
}

TEST(BuildRunText, MatchesTheLineByLineFormAtTenThousandAndOneRows) {
  ProxyList list;
  std::vector<NewRow> rows;
  for (int i = 0; i < 10001; ++i)
    rows.push_back({u"10.%1.%2.1:%3"_s.arg(i / 256).arg(i % 256).arg(i)});
  list.AppendRows(rows);
  std::vector<int> all(10001);
  std::iota(all.begin(), all.end(), 1);
  QString expected;
  for (int row = 1; row <= 10001; ++row)
    expected += u"%1=%2\r\n"_s.arg(row).arg(list.CellText(row, kAddress));
  EXPECT_EQ(BuildRunText(list, all), expected);
  EXPECT_EQ(BuildRunText(list, {2, 5}), u"2=10.0.1.1:1\r\n5=10.0.4.1:4\r\n"_s);
  const Batches cut = CutBatches(expected, 100);
  EXPECT_EQ(cut.batches.size(), 100u);  // 101 lines each, the last one 2
  EXPECT_EQ(cut.batches.back().count(u"\r\n"_s), 2);
}

class SuccessFilterTest : public ValidationRunTest {
 protected:
  void AddRow(const QString& tests, const QString& ratio) {
    const int row = list().AppendRow({u"1.1.1.1:%1"_s.arg(list().RowCount() + 1)});
    list().SetCellText(row, kTestCount, tests);
    list().SetCellText(row, kSuccessRatio, ratio);
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
  EXPECT_EQ(window.Panel(kRowCountPanel), u"3"_s);
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
  for (int row = 1; row <= 3; ++row) list().SetCellText(row, kTestCount, u"2"_s);
  AddRows(farm.matching, 1);
  state.Config().SetCheck(&SettingsPanel::Check8, 1);
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 20000));
  ASSERT_EQ(list().RowCount(), 1);
  EXPECT_EQ(list().CellText(1, kTestResult), u"成 功"_s);
  EXPECT_EQ(window.Panel(kRowCountPanel), u"1"_s);
}

TEST_F(ValidationRunTest, TheWorkerPanelFollowsTheTimer) {
  Farm farm;
  AddRows(farm.silent, 3);  // each worker waits out the 600 ms time-out
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return window.Panel(kWorkerPanel) == u"3"_s; }, 5000));
  ASSERT_TRUE(test::WaitFor([&] { return Finished(); }, 10000));
  EXPECT_EQ(list().CellText(1, kTestResult), u"失 败"_s);
}

}  // namespace
}  // namespace ph
