#pragma once

#include "core/failure_phase.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace ph {

class ProbeTally;

// One result probes can have, with how many had it: its name for machines and its phase.
struct ProbeResultCount {
  std::string_view name;                     // "success", "refused", ...
  FailurePhase phase = FailurePhase::kNone;  // kNone for the successes
  int64_t count = 0;
};

// Successes first, then each failure phase; failures that named no phase count as "other".
std::array<ProbeResultCount, 7> ProbeResults(const ProbeTally& tally);

}  // namespace ph
