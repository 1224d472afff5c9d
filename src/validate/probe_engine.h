#pragma once

#include "core/proxy_list.h"
#include "validate/run_state.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ph {

class EngineThread;

// One entry to probe: its row, by identity, and its address as the list holds it.
struct ProbeJob {
  RowId id = 0;
  QString address;
};

// The probe engine: probes run as transfers of libcurl's multi interface on a few threads of
// its own, each driving thousands of sockets with epoll, so a dead proxy costs a slot and a
// timer instead of a thread for its whole time-out. Entries wait in one queue and start as
// slots free up; each probe's result record goes into its run's ResultBuffer. A probe that
// this machine could not even start (no descriptor, no local port, no buffer) is not the
// proxy's fault: the entry goes back to the queue and the engine probes fewer at once for a
// while.
//
// The public functions are for the window's thread (any one thread); the engine's threads
// touch a run only through its RunState.
class ProbeEngine {
 public:
  explicit ProbeEngine(int threads = 1);
  ~ProbeEngine();  // ends every probe and joins the threads
  ProbeEngine(const ProbeEngine&) = delete;
  ProbeEngine& operator=(const ProbeEngine&) = delete;

  // Queues entries of a run; they count in its pending count until probed or dropped.
  void Add(const std::shared_ptr<RunState>& run, std::vector<ProbeJob> jobs);
  // Drops the queued entries of runs that may not go on, and ends their probes under way
  // within about 50 ms; nothing is written for them.
  void DropStopped();

  // How many probes may be under way at once, from now on.
  void SetConcurrency(int probes);
  int Concurrency() const { return concurrency_; }
  // Probes under way, all runs together.
  int InFlight() const { return in_flight_; }
  // Entries that were put back because this machine ran short, since the engine started.
  int64_t LocalFaults() const { return local_faults_; }

  // Ends every probe and joins the threads; the engine takes no work afterwards.
  void Shutdown();

 private:
  friend class EngineThread;

  struct Queued {
    std::shared_ptr<RunState> run;
    ProbeJob job;
  };
  struct Taken {
    std::vector<Queued> entries;
    // A run whose judge the taking thread is to ask directly first.
    std::shared_ptr<RunState> ask_judge;
  };
  // Up to `most` queued entries for a thread; none of a run whose judge has not answered yet.
  Taken Take(int most);
  // An entry back at the front of the queue, after a local fault.
  void PutBack(Queued queued);
  // This machine ran short: fewer probes at once for a while.
  void BackOff(int thread_in_flight);
  // Raises the cap again once no local fault has come for a while.
  void Recover(std::chrono::steady_clock::time_point now);
  // The share of probes under way one thread may have now.
  int ThreadShare() const;
  void WakeAll();

  std::vector<std::unique_ptr<EngineThread>> threads_;
  mutable std::mutex mutex_;
  std::deque<Queued> queue_;  // under mutex_
  std::atomic<int> concurrency_{1};
  std::atomic<int> cap_;  // lowered by local faults, raised again as probes go on without them
  std::atomic<int> in_flight_{0};
  std::atomic<int64_t> local_faults_{0};
  std::atomic<std::chrono::steady_clock::rep> last_local_fault_{0};
  bool shut_down_ = false;  // under mutex_
};

}  // namespace ph
