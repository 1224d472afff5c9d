#pragma once

#include "core/app_state.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace ph::bench {

struct RunFigures {
  double probes_per_second = 0;   // until every result is in the model
  double probing_per_second = 0;  // until the engine's last record

  qint64 start_ms = 0;
  qint64 total_ms = 0;
  qint64 longest_tick_ms = 0;
  double mean_probe_ms = 0;  // what the probes themselves took, from the results
  int successes = 0;
};

// Where a run's endpoints come from, whether it checks anonymity, how many probes it keeps
// under way, and its time-out.
struct RunSetting {
  QString dir = QStringLiteral("/nonexistent");
  bool anonymity = false;
  // Started beside the run with its state; the function it gives back ends it.
  std::function<std::function<void()>(AppState&)> beside;
  int high_speed = 0;  // 并发数 with 高速验证 ticked; 0: TestThreads, the window's default
  int timeout_ms = 5000;
};

// A whole run through the program's own path: run start, the engine, ResultBuffer,
// ProgressTick and Addlvstr into the model, until the completion text. The entries are the
// proxies in turn, as many as asked.
RunFigures WholeRun(const std::vector<std::string>& proxies, int entries,
                    const RunSetting& setting = {});

}  // namespace ph::bench
