#include "validate/probe_tally.h"

#include <algorithm>
#include <numeric>

namespace ph {

namespace {

// A record's time as a probe could have written it; anything else is taken as the nearest.
constexpr double kLongestMs = 24.0 * 3600 * 1000;

}  // namespace

void ProbeTally::Count(bool success, FailurePhase phase, double elapsed_ms) {
  if (success) {
    ++successes_;
  } else {
    ++failures_[static_cast<std::size_t>(phase)];
  }
  const auto ms = static_cast<int64_t>(elapsed_ms > 0 ? std::min(elapsed_ms, kLongestMs) : 0.0);
  const auto bucket = std::lower_bound(kBucketMs.begin(), kBucketMs.end(), static_cast<int>(ms));
  ++buckets_[static_cast<std::size_t>(bucket - kBucketMs.begin())];
  total_ms_ += ms;
}

int64_t ProbeTally::Total() const {
  return std::accumulate(failures_.begin(), failures_.end(), successes_);
}

}  // namespace ph
