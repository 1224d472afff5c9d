#include "rotate/pool.h"

#include <algorithm>
#include <numeric>

namespace ph {

Pool::Pool(std::vector<Upstream> upstreams) : upstreams_(std::move(upstreams)) {
  // Rows arrive in list order, whose ids rise; sorting again costs nothing then.
  if (!std::is_sorted(upstreams_.begin(), upstreams_.end(),
                      [](const Upstream& a, const Upstream& b) { return a.row < b.row; })) {
    std::sort(upstreams_.begin(), upstreams_.end(),
              [](const Upstream& a, const Upstream& b) { return a.row < b.row; });
  }
  by_elapsed_.resize(upstreams_.size());
  std::iota(by_elapsed_.begin(), by_elapsed_.end(), 0u);
  std::stable_sort(by_elapsed_.begin(), by_elapsed_.end(), [this](uint32_t a, uint32_t b) {
    return upstreams_[a].elapsed_ms < upstreams_[b].elapsed_ms;
  });
}

std::ptrdiff_t Pool::Find(RowId row) const {
  const auto it = std::lower_bound(upstreams_.begin(), upstreams_.end(), row,
                                   [](const Upstream& u, RowId id) { return u.row < id; });
  if (it == upstreams_.end() || it->row != row) return -1;
  return it - upstreams_.begin();
}

}  // namespace ph
