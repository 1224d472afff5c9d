#pragma once

#include "rotate/counters.h"
#include "rotate/pipe_pool.h"
#include "rotate/rotate_options.h"
#include "rotate/selector.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <vector>

namespace ph {

class RelayConnection;
class RelayLoop;

// What every relay thread shares: the options of this start, the selector, the counters, the
// faulted rows and the loops themselves. Owned by RotatingProxy, alive while its threads run.
struct RelayShared {
  RotateOptions options;
  int max_connections = 0;
  Selector& selector;
  RotateCounterSet& counters;
  FaultedRows& faulted;
  std::atomic<int> open{0};
  std::vector<RelayLoop*> loops;  // set before the threads start
};

// One relay thread's event loop: epoll, edge-triggered, over its connections, with their
// deadlines in a heap. The first loop also accepts, and deals the new connections to all
// loops in turn, so that a burst of clients does not land on one thread. Everything here but
// Wake, RequestStop and Hand runs on the loop's thread.
class RelayLoop {
 public:
  // listen_fd: the listening socket for the loop that accepts, -1 for the others.
  RelayLoop(RelayShared& shared, int listen_fd);
  ~RelayLoop();
  RelayLoop(const RelayLoop&) = delete;
  RelayLoop& operator=(const RelayLoop&) = delete;

  // 0, or the errno that kept the loop from being made.
  int Error() const { return error_; }
  // Runs until Wake after stop was set; every connection is closed when it returns.
  void Run();
  // Any thread.
  void Wake();
  void RequestStop();
  // A connection another loop accepted for this one; any thread.
  void Hand(int fd, std::string client_key);

  // For the connections of this loop.
  int64_t NowMs() const { return now_ms_; }
  RelayShared& Shared() { return shared_; }
  PipePool* Pipes() { return shared_.options.splice ? &pipes_ : nullptr; }
  // Registers a socket of the connection; generation tells a new upstream socket's events
  // from those of the one it replaced.
  bool Watch(RelayConnection& connection, int fd, bool upstream, uint32_t generation);
  void Schedule(RelayConnection& connection, int64_t deadline);
  // The connection could go on but yields to the others; it runs again in the next turn.
  void Resume(RelayConnection& connection);
  // The connection is finished; it is freed once the current turn is over.
  void Closed(RelayConnection& connection);

 private:
  struct Timer {
    int64_t at = 0;
    uint32_t slot = 0;
    uint64_t serial = 0;
    bool operator>(const Timer& other) const { return at > other.at; }
  };

  void Turn(int timeout_ms);
  void Accept();
  void Adopt(int fd, std::string client_key);
  void TakeHanded();
  void PauseAccepting();
  void ResumeAccepting();
  void RunTimers();
  void RunResumed();
  void FreeClosed();
  int NextTimeoutMs() const;
  void UpdateNow();

  RelayShared& shared_;
  int listen_fd_;
  int epoll_fd_ = -1;
  int wake_fd_ = -1;
  int error_ = 0;
  int64_t now_ms_ = 0;
  int64_t accept_paused_until_ = 0;  // 0: accepting
  uint64_t next_serial_ = 1;
  std::atomic<bool> stopping_{false};
  std::mutex handed_mutex_;
  std::vector<std::pair<int, std::string>> handed_;  // under handed_mutex_
  std::size_t next_loop_ = 0;  // the loop the next accepted connection goes to
  std::vector<std::unique_ptr<RelayConnection>> slots_;
  std::vector<uint32_t> free_slots_;
  std::vector<RelayConnection*> closed_;
  std::vector<RelayConnection*> resumed_;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  PipePool pipes_;
};

}  // namespace ph
