#pragma once

#include <functional>

namespace ph {

// Asked before an automatic job starts, when instances that share one pool take turns: the
// answer (later, on the window's thread) says whether this instance is to run it now.
using JobGate = std::function<void(std::function<void(bool go)> answer)>;

}  // namespace ph
