#include "store/lease_feeder.h"

#include "core/numbers.h"
#include "core/settings.h"
#include "store/pool_connection.h"
#include "store/shared_pool.h"
#include "validate/validation_run.h"

#include <algorithm>

namespace ph {

LeaseFeeder::LeaseFeeder(SharedPool& pool, ValidationRuns& runs, Settings& settings)
    : pool_(pool), runs_(runs), settings_(settings) {
  tick_.setInterval(kTickMs);
  connect(&tick_, &QTimer::timeout, this, &LeaseFeeder::Tick);
}

bool LeaseFeeder::Share(const std::shared_ptr<RunState>& run, const std::vector<RowId>& ids,
                        bool whole) {
  if (!pool_.Connected()) return false;  // the run goes on here alone
  // Rows new here go in before the run picks its rows by address.
  pool_.Save(pool_.List());
  std::vector<QString> addresses;
  if (!whole) {
    const ProxyList& list = pool_.List();
    for (const RowId id : ids)
      if (const int row = list.RowOf(id); row != 0)
        addresses.push_back(list.CellText(row, kAddress));
  }
  pool_.Post([addresses = std::move(addresses), whole](PoolConnection& connection) mutable {
    connection.StartRun(std::move(addresses), whole);
  });
  run_ = run;
  run_->shared = true;
  run_id_ = 0;
  asked_ = ids;
  stop_when_started_ = false;
  held_.clear();
  idle_.invalidate();
  tick_.start();
  return true;
}

void LeaseFeeder::OnStarted(const StartedRun& started) {
  if (run_id_ != 0 || !run_) return;
  if (started.run == 0) {
    // The database refused the run: it goes on here alone.
    std::vector<ProbeJob> jobs;
    const ProxyList& list = pool_.List();
    for (const RowId id : asked_)
      if (const int row = list.RowOf(id); row != 0)
        jobs.push_back({id, list.CellText(row, kAddress)});
    run_->to_validate_count = static_cast<int32_t>(jobs.size());
    run_->shared = false;
    runs_.Engine().Add(run_, std::move(jobs));
    run_.reset();
    return;
  }
  asked_.clear();
  run_id_ = started.run;
  run_->to_validate_count = started.total;
  if (stop_when_started_) {
    const DbId stopped = run_id_;
    pool_.Post([stopped](PoolConnection& connection) { connection.StopRun(stopped); });
  }
}

void LeaseFeeder::Stopped(const std::shared_ptr<RunState>& run) {
  if (stopping_from_news_ || !Current(run)) return;
  if (run_id_ == 0) {
    stop_when_started_ = true;
    return;
  }
  const DbId stopped = run_id_;
  pool_.Post([stopped](PoolConnection& connection) { connection.StopRun(stopped); });
}

void LeaseFeeder::Applied(const std::vector<RowId>& ids) {
  WriteBatch batch;
  for (const RowId local : ids) {
    // A row not yet in the table is written with the next save, as it is then.
    if (pool_.DbIdOf(local) == 0) continue;
    RowWrite write = pool_.Snapshot(local, RowWrite::Kind::kResult);
    if (const auto found = held_.find(local); found != held_.end()) {
      write.run = found->second;
      held_.erase(found);
    }
    batch.writes.push_back(std::move(write));
  }
  if (batch.writes.empty()) return;
  pool_.Post([batch = std::move(batch)](PoolConnection& connection) mutable {
    connection.Write(std::move(batch));
  });
}

void LeaseFeeder::Tick() {
  if (!run_ || !run_->test_running) {
    tick_.stop();
    return;
  }
  if (run_id_ == 0 || claiming_ || !pool_.Connected()) return;
  if (idle_.isValid() && idle_.elapsed() < kIdleClaimMs) return;
  // Enough rows waiting to fill the engine's slots once more, and no more: the rest stay for
  // the other instances.
  const int concurrency = runs_.Engine().Concurrency();
  const int pending = run_->pending;
  if (pending > concurrency) return;
  const int most = std::clamp(concurrency + concurrency / 2 - pending, 1, kMostClaim);
  const int lease_sec = static_cast<int>(
      std::clamp(RoundHalfEven(ReadNumber(settings_.Panel().LeaseSec)), 1.0, 3600.0));
  const DbId run = run_id_;
  claiming_ = true;
  pool_.Post([run, most, lease_sec](PoolConnection& connection) {
    connection.Claim(run, most, lease_sec);
  });
}

void LeaseFeeder::OnClaim(const Claim& claim) {
  claiming_ = false;
  if (claim.ids.empty()) {
    idle_.start();
    return;
  }
  idle_.invalidate();
  if (!run_ || !run_->test_running || claim.run != run_id_) {
    // The run ended here meanwhile: the rows go back to the others.
    std::vector<DbId> ids = claim.ids;
    pool_.Post([ids = std::move(ids)](PoolConnection& connection) mutable {
      connection.Release(std::move(ids));
    });
    return;
  }
  const ProxyList& list = pool_.List();
  std::vector<ProbeJob> jobs;
  jobs.reserve(claim.ids.size());
  std::vector<DbId> unknown;
  for (const DbId id : claim.ids) {
    const RowId local = pool_.LocalOf(id);
    const int row = list.RowOf(local);
    // A row whose lease lapsed here and came back is being probed here already.
    if (held_.contains(local)) continue;
    if (row == 0) {
      unknown.push_back(id);
      continue;
    }
    held_[local] = claim.run;
    jobs.push_back({local, list.CellText(row, kAddress)});
  }
  // A row this list has not followed yet is left to whoever knows it (this instance too,
  // once it has read it): held here, it would be renewed and never probed.
  if (!unknown.empty())
    pool_.Post([unknown = std::move(unknown)](PoolConnection& connection) mutable {
      connection.Release(std::move(unknown));
    });
  runs_.Engine().Add(run_, std::move(jobs));
}

void LeaseFeeder::OnRun(const RunNews& news) {
  if (run_ && run_id_ == 0) return;  // this instance's own run is on its way
  if (news.id < run_id_) return;
  if (news.id > run_id_) {
    if (!news.active) return;
    // A run started elsewhere (or before this instance started): take part in it.
    run_ = runs_.JoinRun(news.total);
    run_->shared = true;
    run_id_ = news.id;
    held_.clear();
    idle_.invalidate();
    tick_.start();
  }
  if (!run_->test_running) return;
  if (!news.active && news.due > 0) {
    // Stopped elsewhere.
    stopping_from_news_ = true;
    runs_.StopValidation();
    stopping_from_news_ = false;
    return;
  }
  run_->to_validate_count = news.total;
  // What the table holds as done, less what this instance counted itself already.
  const int validated_here = run_->validated_count;
  run_->validated_elsewhere = std::clamp(news.total - news.due - validated_here, 0,
                                         std::max(0, news.total - validated_here));
  // Every row of it has its result in the table: whatever is still probed here (a row whose
  // lease lapsed and was written elsewhere) is not waited for.
  if (news.due == 0) run_->over_everywhere = true;
}

void LeaseFeeder::Leave() {
  tick_.stop();
  held_.clear();
  pool_.Post([](PoolConnection& connection) { connection.Release({}); });
}

}  // namespace ph
