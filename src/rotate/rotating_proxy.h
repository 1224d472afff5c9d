#pragma once

#include "core/proxy_list.h"
#include "rotate/counters.h"
#include "rotate/pool.h"
#include "rotate/rotate_options.h"
#include "rotate/rotate_texts.h"
#include "rotate/selector.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ph {

class RelayLoop;
struct RelayShared;

// The rotating proxy port: one listener for HTTP proxy requests, CONNECT, SOCKS5 and
// SOCKS4/4a, each request or connection sent on through an upstream of the pool. The relays
// run on threads of its own; every function here may be called from any thread.
//
// How an application holds it: the port and a PoolFeed over the list live as long as the
// core; Start with the options of the settings (and again whenever the port, the address,
// the password, the strategy or the limits change: a running port restarts, cutting its
// connections), Stop when the check box is cleared; the feed's Refresh when the minimum
// success ratio changes. The status texts of rotate_texts.h say what Start and Stop did. A
// timer on the window's thread takes the faulted rows (to validate them first) and reads
// the counters.
class RotatingProxy {
 public:
  RotatingProxy();
  ~RotatingProxy();  // stops
  RotatingProxy(const RotatingProxy&) = delete;
  RotatingProxy& operator=(const RotatingProxy&) = delete;

  // Opens the port and starts the relay threads; a running port is stopped first. On failure
  // nothing runs and the failure names the port and the system's reason. Without a limit
  // in the options, raises the process's soft open-file limit to its hard one so the
  // connection limit can follow it.
  std::optional<RotateFailure> Start(const RotateOptions& options);
  // Closes the port and every connection and joins the threads.
  void Stop();
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // The port listened on (the one the system chose, when the options said 0).
  uint16_t Port() const { return port_.load(std::memory_order_acquire); }
  // The connection limit of the current start.
  int MaxConnections() const { return max_connections_.load(std::memory_order_acquire); }

  // Requests from now on pick from this pool; those under way keep their upstream. The pool
  // and the breakers outlive Stop and Start.
  void SetPool(std::shared_ptr<const Pool> pool);
  std::shared_ptr<const Pool> CurrentPool() const;

  RotateCounters Counters() const;
  // The rows whose upstream faulted on live traffic since the last call, each once.
  std::vector<RowId> TakeFaultedRows();
  bool BreakerOpen(RowId row) const;

 private:
  void StopLocked();

  std::mutex control_;  // Start and Stop, one at a time
  Selector selector_;
  RotateCounterSet counters_;
  FaultedRows faulted_;
  std::unique_ptr<RelayShared> shared_;
  std::vector<std::unique_ptr<RelayLoop>> loops_;
  std::vector<std::thread> threads_;
  int listen_fd_ = -1;
  std::atomic<bool> running_{false};
  std::atomic<uint16_t> port_{0};
  std::atomic<int> max_connections_{0};
};

}  // namespace ph
