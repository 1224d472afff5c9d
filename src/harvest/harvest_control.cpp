#include "harvest/harvest_control.h"

#include "core/app_state.h"
#include "harvest/harvest_run.h"

#include <QPointer>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kTickMs = 1000;

}  // namespace

HarvestControl::HarvestControl(AppState& state, QObject* parent) : QObject(parent), state_(state) {
  timer2_.setInterval(kTickMs);
  connect(&timer2_, &QTimer::timeout, this, &HarvestControl::Timer2Tick);
  TimerFollowsBox(state_.Config(), &SettingsPanel::Check5, timer2_);
}

HarvestControl::~HarvestControl() = default;

void HarvestControl::Start() { timer2_.start(); }

bool HarvestControl::Running() const { return run_ != nullptr && !run_->StopAsked(); }

void HarvestControl::StartHarvest() {
  // One harvest at a time: a second one would append the same pages again in between.
  if (run_ != nullptr) {
    state_.StatusBar().SetText(u"正在采集,请等待本次采集完成.."_s);
    return;
  }
  run_ = new HarvestRun(state_, this);
  run_->SetNoDataPauseMs(no_data_pause_ms_);
  if (!sources_path_.isEmpty()) run_->SetSourcesPath(sources_path_);
  run_->SetRegionFill(region_fill_);
  connect(run_, &HarvestRun::Finished, this, [this] {
    run_->deleteLater();
    run_ = nullptr;
    emit RunningChanged(false);
    emit Ended();
  });
  connect(run_, &HarvestRun::SourceStarted, this, &HarvestControl::SourceStarted);
  connect(run_, &HarvestRun::ListSourceRead, this, &HarvestControl::ListSourceRead);
  emit RunningChanged(true);
  run_->Start();
}

void HarvestControl::StopHarvest() {
  if (run_ != nullptr) run_->Stop();
  emit RunningChanged(false);
  state_.StatusBar().SetText(u"停止采集..."_s);
}

void HarvestControl::Timer2Tick() {
  if (!state_.Config().On(&SettingsPanel::Check5)) return;
  // A tick while a harvest is under way neither counts nor starts one.
  if (run_ != nullptr) return;
  if (update_ticks_ < state_.Config().Working().UpdateIntervalSec) {
    ++update_ticks_;
    return;
  }
  update_ticks_ = 1;
  if (!gate_) {
    StartHarvest();
    return;
  }
  gate_([self = QPointer(this)](bool go) {
    if (self && go && self->run_ == nullptr) self->StartHarvest();
  });
}

}  // namespace ph
