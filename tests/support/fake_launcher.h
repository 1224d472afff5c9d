#pragma once

#include "validate/run_state.h"

#include <functional>
#include <memory>
#include <vector>

namespace ph::test {

// Stands in for thread creation: keeps each worker body instead of running it, so hand-out
// can be checked without probes. Discard() ends the kept workers as if they had finished.
class FakeLauncher {
 public:
  bool Launch(std::function<void()> body) {
    if (fail) return false;
    bodies.push_back(std::move(body));
    return true;
  }
  void Discard(ValidationShared& shared, RunState& run) {
    shared.active_workers -= static_cast<int>(bodies.size());
    run.workers -= static_cast<int>(bodies.size());
    bodies.clear();
  }

  bool fail = false;
  std::vector<std::function<void()>> bodies;
};

}  // namespace ph::test
