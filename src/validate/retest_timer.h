#pragma once

#include "core/job_gate.h"

#include <QObject>
#include <QTimer>

#include <cstdint>

namespace ph {

class AppState;
class ValidationRuns;

// The automatic re-validation: Timer1 counts seconds towards the next validation of the whole
// list while "自动重验" (Check4) is ticked. Window's thread only.
class RetestTimer : public QObject {
  Q_OBJECT

 public:
  RetestTimer(AppState& state, ValidationRuns& runs, QObject* parent = nullptr);

  // Runs once at start-up: the count-down ticks from now on.
  void Start() { timer1_.start(); }
  void Timer1Tick();

  // From now on an automatic validation starts only when the gate says so.
  void SetGate(JobGate gate) { gate_ = std::move(gate); }

  int RetestTicks() const { return retest_ticks_; }
  QTimer& Timer1() { return timer1_; }

 private:
  AppState& state_;
  ValidationRuns& runs_;
  QTimer timer1_;
  int32_t retest_ticks_ = 0;  // RetestTicks
  JobGate gate_;
};

}  // namespace ph
