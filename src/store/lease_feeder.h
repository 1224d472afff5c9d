#pragma once

#include "store/pool_messages.h"
#include "validate/run_sharing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <unordered_map>
#include <vector>

namespace ph {

class Settings;
class SharedPool;
class ValidationRuns;

// This instance's part in the pool's shared runs. A run started here or elsewhere is a set of
// rows due in the table; every instance in it claims batches of rows nobody holds (leases that
// expire when their holder dies), probes them on its own engine, outside any transaction, and
// writes each result back, which ends the lease. Joins the newest run the pool has, follows
// what the others validated, and leaves the rows it holds when it ends. Window's thread only.
class LeaseFeeder : public QObject, public RunSharing {
 public:
  LeaseFeeder(SharedPool& pool, ValidationRuns& runs, Settings& settings);

  bool Share(const std::shared_ptr<RunState>& run, const std::vector<RowId>& ids,
             bool whole) override;
  void Stopped(const std::shared_ptr<RunState>& run) override;
  void Applied(const std::vector<RowId>& ids) override;

  // What the connection thread found, in its order.
  void OnStarted(const StartedRun& started);
  void OnClaim(const Claim& claim);
  void OnRun(const RunNews& news);
  void Leave();

  // How often the engine's appetite is looked at while a run goes on.
  static constexpr int kTickMs = 50;
  // After a claim found nothing (other instances hold the rest), the next one waits this long.
  static constexpr int kIdleClaimMs = 500;
  // The most rows one claim takes.
  static constexpr int kMostClaim = 500;

 private:
  void Tick();
  bool Current(const std::shared_ptr<RunState>& run) const { return run && run == run_; }

  SharedPool& pool_;
  ValidationRuns& runs_;
  Settings& settings_;
  std::shared_ptr<RunState> run_;  // the shared run this instance takes part in
  DbId run_id_ = 0;                // 0 while its start is on its way
  std::vector<RowId> asked_;       // the rows of a run whose start is on its way
  bool stop_when_started_ = false;
  bool stopping_from_news_ = false;
  bool claiming_ = false;
  QElapsedTimer idle_;                    // since a claim found nothing
  std::unordered_map<RowId, DbId> held_;  // rows claimed here, and their run
  QTimer tick_;
};

}  // namespace ph
