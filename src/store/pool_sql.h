#pragma once

#include "store/pool_messages.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

class QSqlError;
class QSqlQuery;
struct pg_conn;

namespace ph {

// libpq's connection beneath a QPSQL one, for what Qt does not offer (notifications, why a
// connection broke); null when there is none.
pg_conn* PgHandle(const QSqlDatabase& db);

// What a failed statement says. QPSQL refuses a statement on a connection that has broken
// without any text of its own: libpq's reason then, so that no failure goes unexplained.
QString ErrorText(const QSqlDatabase& db, const QSqlError& error);

// Why a statement failed, and what follows from it.
struct SqlFailure {
  QString text;
  // The connection is gone: reconnect, then try again.
  bool lost = false;
  // The database could not do it now (a deadlock, a lock wait, a shutdown): try again.
  bool transient = false;
};

// The statements of a shared pool, on one open connection; the connection thread's only.
// Writes that change rows take one transaction-long advisory lock first, so the versions they
// take from the sequence become visible in the order they were taken: a reader that has seen
// version v has seen every version below it, and following the table needs only the highest
// version seen.
class PoolSql {
 public:
  // Rows a follow reads at once: a large change arrives in slices the window's thread
  // applies in turns of its own.
  static constexpr int kFollowSlice = 5000;

  PoolSql(QSqlDatabase db, QString owner) : db_(std::move(db)), owner_(std::move(owner)) {}

  // Every row and the highest version, as of one moment.
  std::optional<SqlFailure> Load(std::vector<DbRow>& rows, int64_t& watermark);
  // Rows written and removed after the watermark, which moves past them; at most a few
  // thousand at a time.
  std::optional<SqlFailure> Follow(int64_t& watermark, PoolNews& news);
  // Every row's id.
  std::optional<SqlFailure> Ids(std::vector<DbId>& ids);
  // Forgets the removals older than kKeepRemovedSec. An instance that has not followed the
  // table for a while reads every id again instead (PoolConnection::kReadIdsAfterMs, well
  // within it), so it misses none.
  std::optional<SqlFailure> PurgeRemoved();
  static constexpr int kKeepRemovedSec = 24 * 3600;
  // The batch in one transaction; the rows as written go into news.
  std::optional<SqlFailure> Write(const WriteBatch& batch, PoolNews& news);

  // A new run over the rows of these addresses, or over every row when whole; it supersedes
  // the runs before it and clears its rows' results. The token names the start: the run it
  // made already when it is tried again.
  std::optional<SqlFailure> StartRun(const std::vector<QString>& addresses, bool whole,
                                     const QString& token, StartedRun& started);
  std::optional<SqlFailure> StopRun(DbId run);
  std::optional<SqlFailure> NewestRun(std::optional<RunNews>& news);
  // Up to most due rows of the run that nobody holds (or whose holder's lease has expired),
  // held by this instance for lease_sec from now.
  std::optional<SqlFailure> Claim(DbId run, int most, int lease_sec, PoolNews& news);
  // Holds these rows for lease_sec from now where this instance holds them still.
  std::optional<SqlFailure> Renew(int lease_sec, const std::vector<DbId>& ids);
  // Lets go of the rows this instance holds (all of them when ids is empty): others take them.
  std::optional<SqlFailure> Release(const std::vector<DbId>& ids);

  // The job's turn: true when it last ran at least interval_sec ago (and, for the harvest,
  // no other instance holds its lock, which this one then holds until EndHarvest).
  std::optional<SqlFailure> TakeTurn(bool harvest, int interval_sec, bool& go);
  std::optional<SqlFailure> EndHarvest();

  std::optional<SqlFailure> Listen();

  // A value as a literal of the statement text.
  QString Literal(const QString& text) const;

 private:
  std::optional<SqlFailure> Exec(QSqlQuery& query, const QString& statement) const;
  std::optional<SqlFailure> Exec(const QString& statement) const;
  std::optional<SqlFailure> InTransaction(const std::function<std::optional<SqlFailure>()>& body);
  std::optional<SqlFailure> Insert(const std::vector<const RowWrite*>& rows, PoolNews& news);
  std::optional<SqlFailure> Update(const std::vector<const RowWrite*>& rows, PoolNews& news);
  std::optional<SqlFailure> Remove(const std::vector<DbId>& ids);
  std::optional<SqlFailure> Fetch(const QString& where, std::vector<DbRow>& rows);
  SqlFailure Failed(const QSqlQuery& query) const;

  QSqlDatabase db_;
  QString owner_;
};

}  // namespace ph
