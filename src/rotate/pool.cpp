#include "rotate/pool.h"

#include <algorithm>
#include <numeric>

namespace ph {

Pool::Pool(std::vector<Upstream> upstreams) : upstreams_(std::move(upstreams)) {
  // Rows arrive in list order, whose ids rise, so this is a check.
  const auto by_row = [](const Upstream& a, const Upstream& b) { return a.row < b.row; };
  if (!std::is_sorted(upstreams_.begin(), upstreams_.end(), by_row))
    std::sort(upstreams_.begin(), upstreams_.end(), by_row);
  // Only the head of the order is kept: finding it is linear, sorting all would not be.
  std::vector<uint32_t> order(upstreams_.size());
  std::iota(order.begin(), order.end(), 0u);
  const auto faster = [this](uint32_t a, uint32_t b) {
    return upstreams_[a].elapsed_ms < upstreams_[b].elapsed_ms ||
           (upstreams_[a].elapsed_ms == upstreams_[b].elapsed_ms && a < b);
  };
  const std::size_t kept = std::min(kFastestKept, order.size());
  std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept), order.end(),
                   faster);
  order.resize(kept);
  std::sort(order.begin(), order.end(), faster);
  fastest_ = std::move(order);
}

std::ptrdiff_t Pool::Find(RowId row) const {
  const auto it = std::lower_bound(upstreams_.begin(), upstreams_.end(), row,
                                   [](const Upstream& u, RowId id) { return u.row < id; });
  if (it == upstreams_.end() || it->row != row) return -1;
  return it - upstreams_.begin();
}

}  // namespace ph
