#pragma once

#include <chrono>
#include <cstdint>

namespace ph {

// Milliseconds of the monotonic clock: the time base of deadlines, breakers and sessions.
inline int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace ph
