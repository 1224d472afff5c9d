#pragma once

#include "status/job_watch.h"
#include "status/list_tally.h"
#include "status/minute_history.h"
#include "status/source_table.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace ph {

class ApiServer;
class AppState;
class HarvestControl;
class RotatingProxy;
class ValidationRuns;

// The owners of what the status page shows besides the list; each may be absent.
struct StatusFeeds {
  const ValidationRuns* runs = nullptr;     // the probes' tally
  const HarvestControl* harvest = nullptr;  // its sources, followed from the start
  const ApiServer* api = nullptr;           // its requests by command
  const RotatingProxy* rotate = nullptr;    // its counters while it runs
  // Why the program is not healthy (ending, or its list not safe in the store); nothing when
  // it is.
  std::function<std::optional<QString>()> health;
};

// Everything the status listener serves, read where it is kept: the counts of the list and
// their history, the jobs' progress and the public lists here, the rest from their owners.
// Built with the core and kept as long as it lives, so the counts and the history are there
// whenever the listener opens. Window's thread only.
class StatusBoard : public QObject {
  Q_OBJECT

 public:
  StatusBoard(const AppState& state, StatusFeeds feeds, QObject* parent = nullptr);

  const AppState& State() const { return state_; }
  const StatusFeeds& Feeds() const { return feeds_; }
  const ListTally& Tally() const { return tally_; }
  const MinuteHistory& History() const { return history_; }
  MinuteHistory& History() { return history_; }
  const JobWatch& Jobs() const { return jobs_; }
  const SourceTable& Sources() const { return sources_; }
  // The source the harvest under way reads; empty between harvests.
  const QString& HarvestSource() const { return harvest_source_; }
  // When the core was built, at the program's start; since the epoch.
  qint64 StartedMs() const { return started_ms_; }

  std::optional<QString> HealthProblem() const;

 private:
  const AppState& state_;
  StatusFeeds feeds_;
  ListTally tally_;
  MinuteHistory history_{tally_};
  JobWatch jobs_;
  SourceTable sources_;
  QString harvest_source_;
  qint64 started_ms_ = 0;
};

}  // namespace ph
