#pragma once

#include "core/failure_phase.h"

#include <array>
#include <cstdint>

namespace ph {

// What the probes whose results reached the list found, since the program started: how many
// succeeded and where the others failed, and how long they took. Window's thread only.
class ProbeTally {
 public:
  // The upper bounds of the duration buckets, in milliseconds; a last bucket takes the rest.
  static constexpr std::array<int, 9> kBucketMs{50, 100, 250, 500, 1000, 2500, 5000, 10000, 30000};

  // One probe: a success, or a failure in its phase (kNone when the error named none).
  void Count(bool success, FailurePhase phase, double elapsed_ms);

  int64_t Successes() const { return successes_; }
  // Failures by phase; kNone holds those whose error named no phase.
  int64_t Failures(FailurePhase phase) const { return failures_[static_cast<std::size_t>(phase)]; }
  int64_t Total() const;
  // Probes that took at most kBucketMs[i] (not cumulative); the last entry: longer ones.
  const std::array<int64_t, kBucketMs.size() + 1>& Buckets() const { return buckets_; }
  // Every probe's duration added up.
  int64_t TotalMs() const { return total_ms_; }

 private:
  int64_t successes_ = 0;
  std::array<int64_t, static_cast<std::size_t>(FailurePhase::kOther) + 1> failures_{};
  std::array<int64_t, kBucketMs.size() + 1> buckets_{};
  int64_t total_ms_ = 0;
};

}  // namespace ph
