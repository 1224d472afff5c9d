#include "validate/retest_timer.h"

#include "core/app_state.h"
#include "validate/validation_run.h"

#include <QPointer>

namespace ph {
namespace {

constexpr int kTickMs = 1000;

}  // namespace

RetestTimer::RetestTimer(AppState& state, ValidationRuns& runs, QObject* parent)
    : QObject(parent), state_(state), runs_(runs) {
  timer1_.setInterval(kTickMs);
  connect(&timer1_, &QTimer::timeout, this, &RetestTimer::Timer1Tick);
  TimerFollowsBox(state_.Config(), &SettingsPanel::Check4, timer1_);
}

void RetestTimer::Timer1Tick() {
  if (!state_.Config().On(&SettingsPanel::Check4)) return;
  // A re-validation must never cut off a run still going: such a tick neither counts nor
  // starts one.
  if (runs_.TestRunning()) return;
  if (retest_ticks_ < state_.Config().Working().RetestIntervalSec) {
    ++retest_ticks_;
    return;
  }
  retest_ticks_ = 1;
  if (!gate_) {
    runs_.ValidateAll();
    return;
  }
  gate_([self = QPointer(this)](bool go) {
    if (self && go && !self->runs_.TestRunning()) self->runs_.ValidateAll();
  });
}

}  // namespace ph
