#pragma once

#include "core/proxy_list.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace ph {

// Why a request or a connection failed.
enum class FaultClass : uint8_t {
  kNone,
  kProxy,    // the upstream: refused, timed out, broke its protocol, reset a relay
  kTarget,   // the upstream reached nothing at the target's address; not the proxy's fault
  kNoProxy,  // the pool had no upstream left for the request
  kClient,   // the client: bad bytes, wrong password, gone mid-request
};

// The port's counters at one moment.
struct RotateCounters {
  int64_t connections_open = 0;
  int64_t connections_total = 0;
  int64_t connections_refused = 0;  // over the connection limit
  int64_t requests = 0;             // forwarded requests, tunnels and SOCKS connections
  int64_t retries = 0;              // tries after a request's first
  int64_t faults_proxy = 0;
  int64_t faults_target = 0;
  int64_t faults_no_proxy = 0;
  int64_t faults_client = 0;
  int64_t bytes_up = 0;    // client to upstream
  int64_t bytes_down = 0;  // upstream to client
  int64_t http_requests = 0;
  int64_t connect_tunnels = 0;
  int64_t socks4 = 0;
  int64_t socks5 = 0;
};

// Counted by the relay threads, read by anyone. Relaxed atomics: each number is exact on
// its own, and a snapshot is a moment's view, not a transaction.
class RotateCounterSet {
 public:
  enum class Name : uint8_t {
    kConnectionsOpen,
    kConnectionsTotal,
    kConnectionsRefused,
    kRequests,
    kRetries,
    kFaultsProxy,
    kFaultsTarget,
    kFaultsNoProxy,
    kFaultsClient,
    kBytesUp,
    kBytesDown,
    kHttpRequests,
    kConnectTunnels,
    kSocks4,
    kSocks5,
    kCount
  };

  void Add(Name name, int64_t amount = 1) {
    values_[static_cast<std::size_t>(name)].fetch_add(amount, std::memory_order_relaxed);
  }
  void Fault(FaultClass fault);
  RotateCounters Snapshot() const;

 private:
  int64_t Get(Name name) const {
    return values_[static_cast<std::size_t>(name)].load(std::memory_order_relaxed);
  }
  std::atomic<int64_t> values_[static_cast<std::size_t>(Name::kCount)] = {};
};

// Rows whose upstream faulted on live traffic, each once, until the window's thread takes
// them. Bounded: beyond kMost rows the rest wait for their next fault.
class FaultedRows {
 public:
  void Add(RowId row);
  std::vector<RowId> Take();
  static constexpr std::size_t kMost = 100000;

 private:
  std::mutex mutex_;
  std::vector<RowId> rows_;
  std::unordered_set<RowId> known_;
};

}  // namespace ph
