#include "harvest/harvest_control.h"

#include "harvest/harvest_fixture.h"

#include <QSignalSpy>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class HarvestControlTest : public test::HarvestTest {
 protected:
  HarvestControlTest() { Sources(0, 0, 0, 0, 0); }  // a harvest is quick: only the fill-in

  void Interval(QString SettingsPanel::*field, int seconds) {
    state.Config().SetText(field, QString::number(seconds));
    state.ApplySettings();
  }
  // Ticks Timer2 n times by hand; returns how many harvests started.
  int UpdateTicks(int n) {
    int started = 0;
    for (int i = 0; i < n; ++i) {
      const bool before = control.Run() != nullptr;
      control.Timer2Tick();
      started += !before && control.Run() != nullptr;
      test::WaitFor([&] { return control.Run() == nullptr; }, 5000);
    }
    return started;
  }
};

TEST_F(HarvestControlTest, TheTimerTicksFromStartUpAndTheBoxSwitchesIt) {
  EXPECT_TRUE(control.Timer2().isActive());
  EXPECT_EQ(control.Timer2().interval(), 1000);
  state.Config().SetCheck(&SettingsPanel::Check5, 0);
  EXPECT_TRUE(control.Timer2().isActive());  // no change, no handler
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  state.Config().SetCheck(&SettingsPanel::Check5, 0);
  EXPECT_FALSE(control.Timer2().isActive());
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  EXPECT_TRUE(control.Timer2().isActive());
}

TEST_F(HarvestControlTest, TheFirstHarvestComesOnTheTickAfterTheCountReachesTheInterval) {
  EXPECT_EQ(UpdateTicks(10), 0);  // the box is off: nothing counts
  EXPECT_EQ(control.UpdateTicks(), 0);
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  EXPECT_EQ(UpdateTicks(300), 0);
  EXPECT_EQ(control.UpdateTicks(), 300);
  EXPECT_EQ(UpdateTicks(1), 1);  // the 301st tick
  EXPECT_EQ(control.UpdateTicks(), 1);
  EXPECT_EQ(UpdateTicks(299), 0);
  EXPECT_EQ(UpdateTicks(1), 1);  // then every 300 ticks
}

TEST_F(HarvestControlTest, UntickingFreezesTheCountAndTickingResumesIt) {
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  UpdateTicks(200);
  state.Config().SetCheck(&SettingsPanel::Check5, 0);
  EXPECT_EQ(UpdateTicks(50), 0);
  EXPECT_EQ(control.UpdateTicks(), 200);
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  EXPECT_EQ(UpdateTicks(100), 0);
  EXPECT_EQ(UpdateTicks(1), 1);  // the 101st tick after the box was ticked again
}

TEST_F(HarvestControlTest, ANewIntervalCountsFromTheNextTickAndZeroStartsEveryTick) {
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  UpdateTicks(50);
  Interval(&SettingsPanel::Text11, 20);  // the count already stands above it
  EXPECT_EQ(UpdateTicks(1), 1);
  for (const int interval : {0, -5}) {
    Interval(&SettingsPanel::Text11, interval);
    EXPECT_EQ(UpdateTicks(3), 3);
  }
}

TEST_F(HarvestControlTest, ATickDuringAHarvestNeitherCountsNorStartsOne) {
  Sources(1, 0, 0, 0, 0);
  Pages(1);
  server.Set("/nn/1", {200, "", "text/html", 400});
  state.Config().SetCheck(&SettingsPanel::Check5, 1);
  Interval(&SettingsPanel::Text11, 0);
  control.Timer2Tick();
  ASSERT_NE(control.Run(), nullptr);
  const HarvestRun* first = control.Run();
  control.Timer2Tick();
  control.Timer2Tick();
  EXPECT_EQ(control.Run(), first);
  EXPECT_EQ(control.UpdateTicks(), 1);
  EXPECT_TRUE(log.history.filter(u"正在采集,请等待"_s).isEmpty());
  ASSERT_TRUE(test::WaitFor([&] { return control.Run() == nullptr; }, 5000));
}

TEST_F(HarvestControlTest, StopWithoutAHarvestOnlySays) {
  QSignalSpy running(&control, &HarvestControl::RunningChanged);
  control.StopHarvest();
  EXPECT_FALSE(control.Running());
  EXPECT_EQ(log.history, QStringList({u"停止采集..."_s}));
  EXPECT_EQ(running.count(), 1);
  EXPECT_EQ(state.List().RowCount(), 0);
}

TEST_F(HarvestControlTest, RunningFromTheStartUntilTheRunEndsOrIsToldToStop) {
  QSignalSpy running(&control, &HarvestControl::RunningChanged);
  control.StartHarvest();
  EXPECT_TRUE(control.Running());
  ASSERT_TRUE(test::WaitFor([&] { return control.Run() == nullptr; }, 5000));
  // A run that ends by itself runs no more: the next one is not refused.
  EXPECT_FALSE(control.Running());
  ASSERT_EQ(running.count(), 2);
  EXPECT_FALSE(running.last().at(0).toBool());
  control.StartHarvest();
  EXPECT_TRUE(control.Running());
  control.StopHarvest();
  EXPECT_FALSE(control.Running());
  EXPECT_NE(control.Run(), nullptr);  // it ends at its next boundary
  ASSERT_TRUE(test::WaitFor([&] { return control.Run() == nullptr; }, 5000));
}

}  // namespace
}  // namespace ph
