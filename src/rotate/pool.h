#pragma once

#include "core/proxy_list.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ph {

enum class UpstreamProtocol : uint8_t { kHttp, kSocks4, kSocks5 };

// The proxy type cell as a level, from the least to the most hidden.
enum class Anonymity : uint8_t { kUnknown, kTransparent, kAnonymous, kElite };

// One proxy of the pool, as its list row described it when the pool was built.
struct Upstream {
  RowId row = 0;
  UpstreamProtocol protocol = UpstreamProtocol::kHttp;
  uint32_t ip = 0;  // host order
  uint16_t port = 0;
  int elapsed_ms = 0;  // the row's 耗时; rows without one sort last
  Anonymity anonymity = Anonymity::kUnknown;
  std::string region;  // the 地区 cell in UTF-8
};

// An immutable snapshot of the usable proxies, shared by the relay threads; a newer one
// replaces it whole.
class Pool {
 public:
  Pool() = default;
  explicit Pool(std::vector<Upstream> upstreams);

  const std::vector<Upstream>& Upstreams() const { return upstreams_; }
  std::size_t Size() const { return upstreams_.size(); }
  // Indexes into Upstreams(), the fastest first.
  const std::vector<uint32_t>& ByElapsed() const { return by_elapsed_; }
  // The index of the row's upstream, -1 when the row is not in the pool.
  std::ptrdiff_t Find(RowId row) const;

 private:
  std::vector<Upstream> upstreams_;  // ascending row ids
  std::vector<uint32_t> by_elapsed_;
};

}  // namespace ph
