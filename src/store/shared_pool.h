#pragma once

#include "core/job_gate.h"
#include "core/proxy_list.h"
#include "store/list_store.h"
#include "store/mailbox.h"
#include "store/pg_target.h"
#include "store/pool_messages.h"

#include <QHash>
#include <QObject>
#include <QThread>

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace ph {

class LeaseFeeder;
class PoolConnection;
class RunSharing;
class Settings;
class ValidationRuns;

// The list kept in a PostgreSQL database that several instances share: each keeps the whole
// pool in its own list and in step with the table (notifications wake it, a poll every few
// seconds backs them up), writes what changes here, and takes its share of the runs. The
// database is the truth: where a row changed here and elsewhere at once, the table's row wins,
// but for a validation's result, which is always written.
//
// Window's thread. The statements run on the connection thread of PoolConnection, called in
// order through a mailbox; what they find comes back through its mailbox, applied here in
// order, one piece a turn.
class SharedPool : public QObject, public ListStore {
  Q_OBJECT

 public:
  using Log = std::function<void(const QString& line)>;

  SharedPool(PgTarget target, Log log, QObject* parent = nullptr);
  ~SharedPool() override;

  // The name this instance's leases and validations are recorded under: host and process.
  const QString& Owner() const { return owner_; }

  // Connects, makes or updates the tables and reads every row; waits for it (start-up only),
  // and for a database that is not accepting connections yet, a while.
  std::optional<QString> Open() override;
  // After a failed Open: the database never answered, which may pass.
  bool Away() const { return away_; }

  std::optional<QString> Load(ProxyList& list) override;
  std::optional<QString> Save(ProxyList& list) override;
  std::optional<QString> WaitWritten(int most_ms) override;

  // From now on runs are shared and the automatic jobs take turns with the other instances.
  void Serve(Settings& settings, ValidationRuns& runs);
  RunSharing& Sharing();
  // The automatic harvest's gate (or the automatic validation's).
  JobGate Gate(bool harvest);
  void HarvestEnded();
  // This instance is ending: the rows it holds in a run go to the others at once.
  void Leave();

  // For the feeder.
  ProxyList& List() { return *list_; }
  DbId DbIdOf(RowId local) const;
  RowId LocalOf(DbId id) const;
  bool Connected() const { return connected_; }
  // A copy of the row to write: its cells, colour, identity; its changed mark is cleared.
  RowWrite Snapshot(RowId local, RowWrite::Kind kind);
  // Calls onto the connection thread, in the order posted.
  void Post(std::function<void(PoolConnection&)> call);

 signals:
  // Calls wait where there were none.
  void Posted();

 private:
  void TakeCall();
  void TakeNews();
  void OnNews(const PoolNews& news);
  void Map(RowId local, DbId id, int64_t version);
  void ApplyInserts(const std::vector<InsertAnswer>& answers);
  void ApplyRows(const std::vector<DbRow>& rows);
  void ApplyRemovals(const std::vector<DbId>& ids);
  void ApplyPresent(const std::vector<DbId>& ids);
  void ApplyWritten(const std::vector<std::pair<DbId, int64_t>>& versions);
  void RemoveLocal(const std::vector<RowId>& locals);

  PgTarget target_;
  Log log_;
  Mailbox<std::function<void(PoolConnection&)>> calls_;
  QString owner_;
  QThread thread_;
  std::promise<void> ended_;              // set on the connection thread as it ends
  PoolConnection* connection_ = nullptr;  // lives on thread_, deleted as it ends
  ProxyList* list_ = nullptr;
  Settings* settings_ = nullptr;
  std::vector<DbRow> loaded_;  // between Open and Load

  struct Known {
    DbId id = 0;
    int64_t version = 0;  // of the table's row the list's row last matched
  };
  std::unordered_map<RowId, Known> known_;
  std::unordered_map<DbId, RowId> local_of_;
  // Rows new here, handed over for inserting and not answered yet; by address too, since the
  // row may come back from another instance's insert first.
  std::unordered_map<RowId, QString> inserting_;
  QHash<QString, RowId> inserting_by_address_;
  // Rows removed here whose removal is not written yet: what comes back of them is not news.
  std::unordered_set<DbId> removing_;
  bool rows_removed_ = false;  // since the last save
  bool connected_ = true;
  bool away_ = false;
  std::unique_ptr<LeaseFeeder> feeder_;
  std::map<int, std::function<void(bool)>> gates_;
  int next_gate_ = 1;
};

}  // namespace ph
