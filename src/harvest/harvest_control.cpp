#include "harvest/harvest_control.h"

#include "core/app_state.h"
#include "harvest/harvest_run.h"
#include "validate/validation_run.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kTickMs = 1000;

}  // namespace

HarvestControl::HarvestControl(AppState& state, ValidationRuns& runs, QObject* parent)
    : QObject(parent), state_(state), runs_(runs) {
  timer1_.setInterval(kTickMs);
  timer2_.setInterval(kTickMs);
  connect(&timer1_, &QTimer::timeout, this, &HarvestControl::Timer1Tick);
  connect(&timer2_, &QTimer::timeout, this, &HarvestControl::Timer2Tick);
  // Ticking a box switches its timer on, unticking it off; the counts are kept either way.
  connect(&state_.Config(), &Settings::CheckChanged, this, [this](CheckField field, int value) {
    QTimer* timer = field == &SettingsPanel::Check4   ? &timer1_
                    : field == &SettingsPanel::Check5 ? &timer2_
                                                      : nullptr;
    if (timer == nullptr) return;
    if (value == 1) {
      timer->start();
    } else {
      timer->stop();
    }
  });
}

HarvestControl::~HarvestControl() = default;

void HarvestControl::Start() {
  timer1_.start();
  timer2_.start();
}

void HarvestControl::StartHarvest() {
  Status& status = state_.StatusBar();
  // One harvest at a time: a second one would append the same pages again in between.
  if (run_ != nullptr) {
    status.SetText(u"正在采集,请等待本次采集完成.."_s);
    return;
  }
  harvest_running_ = true;
  status.SetMenuItemVisible(MenuItem::StopGet, true);
  run_ = new HarvestRun(
      state_, [this] { return harvest_running_; }, this);
  run_->SetNoDataPauseMs(no_data_pause_ms_);
  if (!sources_path_.isEmpty()) run_->SetSourcesPath(sources_path_);
  connect(run_, &HarvestRun::Finished, this, [this] {
    run_->deleteLater();
    run_ = nullptr;
  });
  emit RunStarted(run_);
  run_->Start();
}

void HarvestControl::StopHarvest() {
  harvest_running_ = false;
  state_.StatusBar().SetMenuItemVisible(MenuItem::StopGet, false);
  state_.StatusBar().SetText(u"停止采集..."_s);
}

void HarvestControl::Timer2Tick() {
  if (state_.Config().Panel().Check5 != 1) return;
  // A tick while a harvest is under way neither counts nor starts one.
  if (run_ != nullptr) return;
  if (update_ticks_ < state_.Config().Working().UpdateIntervalSec) {
    ++update_ticks_;
    return;
  }
  update_ticks_ = 1;
  StartHarvest();
}

void HarvestControl::Timer1Tick() {
  if (state_.Config().Panel().Check4 != 1) return;
  // A re-validation must never cut off a run still going: such a tick neither counts nor
  // starts one.
  if (runs_.TestRunning()) return;
  if (retest_ticks_ < state_.Config().Working().RetestIntervalSec) {
    ++retest_ticks_;
    return;
  }
  retest_ticks_ = 1;
  runs_.ValidateAll();
}

}  // namespace ph
