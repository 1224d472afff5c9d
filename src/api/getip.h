#pragma once

#include <QString>

#include <cstdint>
#include <random>

namespace ph {

class ProxyList;

// A whole number from lo to hi drawn uniformly as floor(r * max) for r in [0, 1), drawn
// again until it lies there; without a range (hi < lo or hi <= 0) any number from 0 to
// max - 1.
int RandomIndex(int max, int lo, int hi, std::mt19937& random);

// The "getip" answer: the row `row` alone when 0 < row < row count (whatever its ratio);
// otherwise every row, or count rows drawn at random (a row drawn twice counts as a draw but
// is written once), that reach min_ratio percent. A line is the address, with with_area
// "|" and the GBK-escaped region, and "<br/>".
QString BuildGetIpBody(const ProxyList& list, int32_t row, int16_t count, int16_t min_ratio,
                       bool with_area, std::mt19937& random);

}  // namespace ph
