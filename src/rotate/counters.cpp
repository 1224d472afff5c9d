#include "rotate/counters.h"

namespace ph {

void RotateCounterSet::Fault(FaultClass fault) {
  switch (fault) {
    case FaultClass::kProxy:
      return Add(Name::kFaultsProxy);
    case FaultClass::kTarget:
      return Add(Name::kFaultsTarget);
    case FaultClass::kNoProxy:
      return Add(Name::kFaultsNoProxy);
    case FaultClass::kClient:
      return Add(Name::kFaultsClient);
    case FaultClass::kNone:
      return;
  }
}

RotateCounters RotateCounterSet::Snapshot() const {
  RotateCounters c;
  c.connections_open = Get(Name::kConnectionsOpen);
  c.connections_total = Get(Name::kConnectionsTotal);
  c.connections_refused = Get(Name::kConnectionsRefused);
  c.requests = Get(Name::kRequests);
  c.retries = Get(Name::kRetries);
  c.faults_proxy = Get(Name::kFaultsProxy);
  c.faults_target = Get(Name::kFaultsTarget);
  c.faults_no_proxy = Get(Name::kFaultsNoProxy);
  c.faults_client = Get(Name::kFaultsClient);
  c.bytes_up = Get(Name::kBytesUp);
  c.bytes_down = Get(Name::kBytesDown);
  c.http_requests = Get(Name::kHttpRequests);
  c.connect_tunnels = Get(Name::kConnectTunnels);
  c.socks4 = Get(Name::kSocks4);
  c.socks5 = Get(Name::kSocks5);
  return c;
}

void FaultedRows::Add(RowId row) {
  std::lock_guard lock(mutex_);
  if (rows_.size() >= kMost || !known_.insert(row).second) return;
  rows_.push_back(row);
}

std::vector<RowId> FaultedRows::Take() {
  std::lock_guard lock(mutex_);
  known_.clear();
  return std::exchange(rows_, {});
}

}  // namespace ph
