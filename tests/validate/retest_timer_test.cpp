#include "validate/retest_timer.h"

#include "core/app_state.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/sandbox.h"
#include "validate/validation_run.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class RetestTimerTest : public ::testing::Test {
 protected:
  RetestTimerTest() : state(window, dir.Dir()), runs(state), timer(state, runs) {
    state.Startup();
    timer.Start();
  }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  ValidationRuns runs;
  RetestTimer timer;
};

TEST_F(RetestTimerTest, TicksFromStartUpAndTheBoxSwitchesIt) {
  EXPECT_TRUE(timer.Timer1().isActive());
  EXPECT_EQ(timer.Timer1().interval(), 1000);
  state.Config().SetCheck(&SettingsPanel::Check4, 0);
  EXPECT_TRUE(timer.Timer1().isActive());  // no change, no handler
  state.Config().SetCheck(&SettingsPanel::Check4, 1);
  state.Config().SetCheck(&SettingsPanel::Check4, 0);
  EXPECT_FALSE(timer.Timer1().isActive());
  state.Config().SetCheck(&SettingsPanel::Check4, 1);
  EXPECT_TRUE(timer.Timer1().isActive());
}

TEST_F(RetestTimerTest, RevalidationComesOnItsTickButNeverCutsOffARun) {
  test::SilentServer silent;
  state.List().AppendRow({QString::fromStdString(silent.Address())});
  state.Config().SetText(&SettingsPanel::Text2, u"600"_s);
  state.Config().SetText(&SettingsPanel::Text13, u"2"_s);
  state.ApplySettings();
  state.Config().SetCheck(&SettingsPanel::Check4, 1);
  timer.Timer1Tick();
  timer.Timer1Tick();
  EXPECT_EQ(runs.CurrentRun(), nullptr);
  timer.Timer1Tick();  // the third tick starts the run
  ASSERT_NE(runs.CurrentRun(), nullptr);
  const auto run = runs.CurrentRun();
  for (int i = 0; i < 5; ++i) timer.Timer1Tick();  // the run still goes on
  EXPECT_EQ(runs.CurrentRun(), run);
  EXPECT_EQ(timer.RetestTicks(), 1);
  ASSERT_TRUE(test::WaitFor([&] { return !runs.TestRunning(); }, 5000));
  timer.Timer1Tick();
  timer.Timer1Tick();
  EXPECT_NE(runs.CurrentRun(), run);
  runs.StopValidation();
}

}  // namespace
}  // namespace ph
