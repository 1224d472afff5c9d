#pragma once

#include "core/probe_settings.h"
#include "validate/judge.h"
#include "validate/result_buffer.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace ph {

// What the window's thread and the probe engine share about one validation run. Each run has
// its own, so the counts of a stopped run never mix with those of a newer one; the engine holds
// it for as long as it has work of the run, so it never touches freed memory.
struct RunState {
  RunState(uint64_t run_id, std::shared_ptr<const ProbeSettingsSlot> settings_slot)
      : id(run_id), settings(std::move(settings_slot)) {}

  const uint64_t id;
  // Where the current probe settings are published; each probe takes them as it starts.
  const std::shared_ptr<const ProbeSettingsSlot> settings;
  ResultBuffer results;                     // ResultBuffer
  std::atomic<int32_t> validated_count{0};  // ValidatedCount
  // Entries of a shared run that other instances have validated, for the progress shown.
  std::atomic<int32_t> validated_elsewhere{0};
  // A shared run ends when its sharing says nothing of it is left anywhere, not by counts:
  // a row can be probed here and elsewhere both (a lease that lapsed), and others' results
  // arrive late.
  std::atomic<bool> shared{false};
  std::atomic<bool> over_everywhere{false};
  std::atomic<int32_t> to_validate_count{0};  // ToValidateCount
  std::atomic<bool> test_running{false};      // TestRunning: this run may go on
  std::atomic<int32_t> pending{0};            // entries handed to the engine and not yet done
  // Set before the run's entries go to the engine when the run checks anonymity.
  std::shared_ptr<AnonymityJudge> judge;
};

}  // namespace ph
