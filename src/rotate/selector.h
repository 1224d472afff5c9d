#pragma once

#include "rotate/breakers.h"
#include "rotate/pool.h"
#include "rotate/rotate_options.h"
#include "rotate/user_options.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ph {

// The upstream a try goes to, copied out of the pool so a newer pool cannot pull it away.
struct Chosen {
  RowId row = 0;
  UpstreamProtocol protocol = UpstreamProtocol::kHttp;
  uint32_t ip = 0;
  uint16_t port = 0;
  bool trial = false;  // the trial connection of a half-open breaker
};

struct PickQuery {
  const SelectionOptions& options;
  // The client's address (raw bytes): the session key of the sticky strategy.
  std::string_view client_key;
  bool ipv6_target = false;      // SOCKS4 upstreams cannot reach one
  std::span<const RowId> tried;  // rows this request already tried
};

// Chooses upstreams from the newest pool by strategy, sessions and breakers. Every relay
// thread picks through it and the window's thread replaces the pool, so all of it is behind
// one lock, held only for a pick's scan.
class Selector {
 public:
  explicit Selector(uint64_t seed = std::random_device{}());

  void Configure(Strategy strategy, const BreakerOptions& breaker, int session_ms);
  void SetPool(std::shared_ptr<const Pool> pool);
  std::shared_ptr<const Pool> CurrentPool() const;

  std::optional<Chosen> Pick(const PickQuery& query, int64_t now_ms);
  void Succeeded(RowId row);
  void Faulted(const Chosen& chosen, int64_t now_ms);
  // A trial connection ended before it could tell.
  void Released(const Chosen& chosen);
  bool BreakerOpen(RowId row, int64_t now_ms) const;

  static constexpr std::size_t kMostSessions = 65536;

 private:
  struct Session {
    RowId row = 0;
    int64_t expires = 0;
  };

  bool Eligible(const Upstream& upstream, const PickQuery& query, int64_t now_ms) const;
  std::ptrdiff_t PickByStrategy(const PickQuery& query, int64_t now_ms);
  std::ptrdiff_t PickRandom(const PickQuery& query, int64_t now_ms);
  void Remember(std::string key, RowId row, int64_t now_ms);

  mutable std::mutex mutex_;
  std::shared_ptr<const Pool> pool_ = std::make_shared<Pool>();
  Strategy strategy_ = Strategy::kRandom;
  int session_ms_ = 600000;
  Breakers breakers_;
  std::unordered_map<std::string, Session> sessions_;
  std::size_t cursor_ = 0;  // round robin: where the next scan starts
  std::mt19937_64 random_;
};

}  // namespace ph
