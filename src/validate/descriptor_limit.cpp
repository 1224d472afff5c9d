#include "validate/descriptor_limit.h"

#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <mutex>

namespace ph {
namespace {

// The control API alone may hold 200 clients; the rest is the store, the window, libraries.
constexpr long kReserve = 96;

long SoftLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  return limit.rlim_cur == RLIM_INFINITY ? LONG_MAX : static_cast<long>(limit.rlim_cur);
}

}  // namespace

long RaiseDescriptorLimit() {
  static std::once_flag raised;
  std::call_once(raised, [] {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  });
  return SoftLimit();
}

int MostProbesFor(long descriptors) {
  const long reserve = std::max(kReserve, descriptors / 8);
  return static_cast<int>(std::clamp<long>(descriptors - reserve, 1, INT_MAX));
}

}  // namespace ph
