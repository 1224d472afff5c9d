#include "support/process_memory.h"

#include <fstream>
#include <string>

namespace ph::test {

long ResidentKib() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word != "VmRSS:") continue;
    long kib = 0;
    status >> kib;
    return kib;
  }
  return 0;
}

}  // namespace ph::test
