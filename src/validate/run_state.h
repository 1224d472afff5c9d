#pragma once

#include "validate/judge.h"
#include "validate/result_buffer.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace ph {

// What the window's thread and the workers of one validation run share. Each run has its
// own, so the counts of a stopped run never mix with those of a newer one.
struct RunState {
  explicit RunState(uint64_t run_id) : id(run_id) {}

  const uint64_t id;
  ResultBuffer results;                       // ResultBuffer
  std::atomic<int32_t> validated_count{0};    // ValidatedCount
  std::atomic<int32_t> to_validate_count{0};  // ToValidateCount
  std::atomic<bool> test_running{false};      // TestRunning: this run may go on
  std::atomic<int32_t> workers{0};            // this run's workers still alive
  // Set before the first worker starts when the run checks anonymity; null otherwise.
  std::shared_ptr<AnonymityJudge> judge;
};

// Shared by all runs: the workers alive, whatever run they belong to. Held through a
// shared_ptr by every worker, so a worker that outlives the window never touches freed memory.
struct ValidationShared {
  std::atomic<int32_t> active_workers{0};  // ActiveWorkers
};

}  // namespace ph
