#pragma once

#include "core/proxy_list.h"

#include <QString>

#include <cstdint>
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
  QString region;  // the 地区 cell, shared with the list's (its text is never written to)
};

// An immutable snapshot of the usable proxies, shared by the relay threads; a newer one
// replaces it whole.
class Pool {
 public:
  Pool() = default;
  explicit Pool(std::vector<Upstream> upstreams);

  const std::vector<Upstream>& Upstreams() const { return upstreams_; }
  std::size_t Size() const { return upstreams_.size(); }
  // Indexes into Upstreams() of the kFastestKept fastest, the fastest first: where the
  // fastest strategy looks before it scans the whole pool.
  const std::vector<uint32_t>& Fastest() const { return fastest_; }
  static constexpr std::size_t kFastestKept = 256;
  // The index of the row's upstream, -1 when the row is not in the pool.
  std::ptrdiff_t Find(RowId row) const;

 private:
  std::vector<Upstream> upstreams_;  // ascending row ids
  std::vector<uint32_t> fastest_;
};

}  // namespace ph
