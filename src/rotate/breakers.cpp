#include "rotate/breakers.h"

#include <algorithm>

namespace ph {

bool Breakers::Admits(RowId row, int64_t now_ms) const {
  const auto it = states_.find(row);
  if (it == states_.end() || it->second.open_until == 0) return true;
  return now_ms >= it->second.open_until && !it->second.trial;
}

bool Breakers::Open(RowId row, int64_t now_ms) const {
  const auto it = states_.find(row);
  return it != states_.end() && it->second.open_until != 0 && now_ms < it->second.open_until;
}

bool Breakers::Picked(RowId row, int64_t now_ms) {
  const auto it = states_.find(row);
  if (it == states_.end() || it->second.open_until == 0 || now_ms < it->second.open_until)
    return false;
  it->second.trial = true;
  return true;
}

void Breakers::Succeeded(RowId row) { states_.erase(row); }

void Breakers::Faulted(RowId row, bool trial, int64_t now_ms) {
  State& state = states_[row];
  if (state.open_until != 0) {
    // A fault of a connection made before the breaker opened changes nothing; only the
    // trial's decides.
    if (!trial || !state.trial) return;
    state.trial = false;
    state.open_ms = std::min(state.open_ms * 2, options_.max_open_ms);
    state.open_until = now_ms + state.open_ms;
    return;
  }
  if (++state.faults_in_row < options_.faults_to_open) return;
  state.faults_in_row = 0;
  state.open_ms = options_.open_ms;
  state.open_until = now_ms + state.open_ms;
}

void Breakers::Released(RowId row) {
  const auto it = states_.find(row);
  if (it != states_.end()) it->second.trial = false;
}

}  // namespace ph
