#pragma once

namespace ph::test {

// The resident memory of this process in KiB (VmRSS), 0 where it cannot be read.
long ResidentKib();

}  // namespace ph::test
