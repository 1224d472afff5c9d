#include "rotate/selector.h"

#include <algorithm>

namespace ph {
namespace {

// Random probes before a full scan: enough to find one of many eligible rows at once, few
// enough that a pool filtered down to a handful is scanned soon.
constexpr int kRandomProbes = 8;

}  // namespace

Selector::Selector(uint64_t seed) : random_(seed) {}

void Selector::Configure(Strategy strategy, const BreakerOptions& breaker, int session_ms) {
  std::lock_guard lock(mutex_);
  strategy_ = strategy;
  breakers_.SetOptions(breaker);
  session_ms_ = session_ms;
}

void Selector::SetPool(std::shared_ptr<const Pool> pool) {
  if (!pool) pool = std::make_shared<Pool>();
  std::lock_guard lock(mutex_);
  pool_ = std::move(pool);
  breakers_.Prune([this](RowId row) { return pool_->Find(row) >= 0; });
  cursor_ = 0;
}

std::shared_ptr<const Pool> Selector::CurrentPool() const {
  std::lock_guard lock(mutex_);
  return pool_;
}

bool Selector::Eligible(const Upstream& upstream, const PickQuery& query, int64_t now_ms) const {
  if (query.ipv6_target && upstream.protocol == UpstreamProtocol::kSocks4) return false;
  if (!Serves(upstream, query.options)) return false;
  if (std::find(query.tried.begin(), query.tried.end(), upstream.row) != query.tried.end())
    return false;
  return breakers_.Admits(upstream.row, now_ms);
}

std::ptrdiff_t Selector::PickRandom(const PickQuery& query, int64_t now_ms) {
  const std::vector<Upstream>& upstreams = pool_->Upstreams();
  std::uniform_int_distribution<std::size_t> any(0, upstreams.size() - 1);
  for (int probe = 0; probe < kRandomProbes; ++probe) {
    const std::size_t index = any(random_);
    if (Eligible(upstreams[index], query, now_ms)) return static_cast<std::ptrdiff_t>(index);
  }
  // Few are eligible: one pass, each eligible row kept with chance 1/seen.
  std::ptrdiff_t chosen = -1;
  uint64_t seen = 0;
  for (std::size_t index = 0; index < upstreams.size(); ++index) {
    if (!Eligible(upstreams[index], query, now_ms)) continue;
    if (random_() % ++seen == 0) chosen = static_cast<std::ptrdiff_t>(index);
  }
  return chosen;
}

std::ptrdiff_t Selector::PickByStrategy(const PickQuery& query, int64_t now_ms) {
  const std::vector<Upstream>& upstreams = pool_->Upstreams();
  switch (strategy_) {
    case Strategy::kRoundRobin:
      for (std::size_t step = 0; step < upstreams.size(); ++step) {
        const std::size_t index = (cursor_ + step) % upstreams.size();
        if (!Eligible(upstreams[index], query, now_ms)) continue;
        cursor_ = index + 1;
        return static_cast<std::ptrdiff_t>(index);
      }
      return -1;
    case Strategy::kFastest: {
      for (const uint32_t index : pool_->Fastest())
        if (Eligible(upstreams[index], query, now_ms)) return index;
      // Every one of the fastest is left out: the fastest of the rest.
      std::ptrdiff_t best = -1;
      for (std::size_t index = 0; index < upstreams.size(); ++index) {
        if (!Eligible(upstreams[index], query, now_ms)) continue;
        if (best < 0 ||
            upstreams[index].elapsed_ms < upstreams[static_cast<std::size_t>(best)].elapsed_ms)
          best = static_cast<std::ptrdiff_t>(index);
      }
      return best;
    }
    case Strategy::kRandom:
    case Strategy::kSticky:
      break;
  }
  return PickRandom(query, now_ms);
}

std::optional<Chosen> Selector::Pick(const PickQuery& query, int64_t now_ms) {
  std::lock_guard lock(mutex_);
  if (pool_->Size() == 0) return std::nullopt;
  std::string key;
  if (!query.options.session.empty()) {
    key = "s" + query.options.session;
  } else if (strategy_ == Strategy::kSticky) {
    key = "c" + std::string(query.client_key);
  }
  std::ptrdiff_t index = -1;
  bool remembered = false;
  if (!key.empty()) {
    const auto it = sessions_.find(key);
    if (it != sessions_.end() && it->second.expires > now_ms) {
      const std::ptrdiff_t kept = pool_->Find(it->second.row);
      if (kept >= 0 &&
          Eligible(pool_->Upstreams()[static_cast<std::size_t>(kept)], query, now_ms)) {
        index = kept;
        remembered = true;
      }
    }
  }
  if (index < 0) index = PickByStrategy(query, now_ms);
  if (index < 0) return std::nullopt;
  const Upstream& upstream = pool_->Upstreams()[static_cast<std::size_t>(index)];
  if (!key.empty() && !remembered) Remember(std::move(key), upstream.row, now_ms);
  return Chosen{upstream.row, upstream.protocol, upstream.ip, upstream.port,
                breakers_.Picked(upstream.row, now_ms)};
}

void Selector::Remember(std::string key, RowId row, int64_t now_ms) {
  if (sessions_.size() >= kMostSessions) {
    std::erase_if(sessions_, [now_ms](const auto& item) { return item.second.expires <= now_ms; });
    // Still full of live sessions: one makes room, the client of it picks anew.
    if (sessions_.size() >= kMostSessions) sessions_.erase(sessions_.begin());
  }
  sessions_[std::move(key)] = Session{row, now_ms + session_ms_};
}

void Selector::Succeeded(RowId row) {
  std::lock_guard lock(mutex_);
  breakers_.Succeeded(row);
}

void Selector::Faulted(const Chosen& chosen, int64_t now_ms) {
  std::lock_guard lock(mutex_);
  breakers_.Faulted(chosen.row, chosen.trial, now_ms);
}

void Selector::Released(const Chosen& chosen) {
  if (!chosen.trial) return;
  std::lock_guard lock(mutex_);
  breakers_.Released(chosen.row);
}

bool Selector::BreakerOpen(RowId row, int64_t now_ms) const {
  std::lock_guard lock(mutex_);
  return breakers_.Open(row, now_ms);
}

}  // namespace ph
