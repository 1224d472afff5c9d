#pragma once

#include "core/proxy_list.h"
#include "rotate/rotate_options.h"

#include <cstdint>
#include <unordered_map>

namespace ph {

// The breakers of the pool's upstreams, by row. A closed breaker lets every connection
// through; faults_to_open proxy faults in a row open it; once its time is up it is half open
// and lets one trial connection through, whose success closes it and whose fault opens it
// again for twice as long. Not thread-safe: its owner locks.
class Breakers {
 public:
  explicit Breakers(const BreakerOptions& options = {}) : options_(options) {}
  void SetOptions(const BreakerOptions& options) { options_ = options; }

  bool Admits(RowId row, int64_t now_ms) const;
  // A connection to the row begins; true when it is the trial of a half-open breaker.
  bool Picked(RowId row, int64_t now_ms);
  void Succeeded(RowId row);
  // trial: the connection was the one Picked called a trial.
  void Faulted(RowId row, bool trial, int64_t now_ms);
  // A trial ended before it could tell; another may be made.
  void Released(RowId row);

  bool Open(RowId row, int64_t now_ms) const;
  // Forgets rows that are healthy or gone, keeping the table at the pool's size.
  template <typename Keep>
  void Prune(Keep keep) {
    std::erase_if(states_, [&](const auto& item) { return !keep(item.first); });
  }

 private:
  struct State {
    int faults_in_row = 0;
    int open_ms = 0;         // the current time out; 0 while it never opened
    int64_t open_until = 0;  // 0: closed
    bool trial = false;      // a half-open breaker's trial is under way
  };

  BreakerOptions options_;
  std::unordered_map<RowId, State> states_;  // rows without an entry are closed
};

}  // namespace ph
