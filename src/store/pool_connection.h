#pragma once

#include "store/mailbox.h"
#include "store/pg_target.h"
#include "store/pool_messages.h"
#include "store/pool_sql.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <unordered_map>
#include <variant>

namespace ph {

// A shared pool's connection to PostgreSQL, on a thread of its own: QPSQL blocks for as long
// as the database takes, and the window's thread must not. Everything here runs on that
// thread; the window's thread calls in through SharedPool's mailbox of calls and hears back
// through this one's mailbox of news (Told, then TakeNews).
//
// What changes the database waits in order in a backlog until it is written: while the
// database is away (a restart, a cut network) it stays there, the connection is tried again
// with a growing pause, and once it is back the backlog is written before anything else.
// What needs the database now (a claim, a job's turn) is answered at once: with nothing while
// it is away.
class PoolConnection : public QObject {
  Q_OBJECT

 public:
  // How long the first connection waits for a database that does not accept connections yet
  // (starting, stopping for a restart, not listening yet), as when the servers and the
  // database start together.
  static constexpr int kStartPatienceMs = 15000;

  PoolConnection(PgTarget target, QString owner, int start_patience_ms = kStartPatienceMs);
  ~PoolConnection() override;

  // Why the first connection failed; away when the database never answered, which may pass.
  struct OpenRefusal {
    QString text;
    bool away = false;
  };
  // The first connection: the tables made or brought up to date, and every row read. A
  // database that is away is tried again with a growing pause until the patience runs out;
  // waited_for then holds why the first try failed. The caller's thread waits meanwhile.
  std::optional<OpenRefusal> Open(std::vector<DbRow>& rows, QString& waited_for);

  void Write(WriteBatch batch);
  void StartRun(std::vector<QString> addresses, bool whole);
  void StopRun(DbId run);
  void Claim(DbId run, int most, int lease_sec);
  // Lets go of the rows this instance holds; all of them when ids is empty.
  void Release(std::vector<DbId> ids);
  void TakeTurn(int token, bool harvest, int interval_sec);
  void EndHarvest();
  // Set once everything handed over before it is written.
  void Settle(std::shared_ptr<std::promise<void>> written);

  // How often the table is read for changes when no notification comes.
  static constexpr int kFollowMs = 3000;
  // After this long without following (away from the database, or a process held still),
  // every id is read again: removals are kept only for PoolSql::kKeepRemovedSec.
  static constexpr int kReadIdsAfterMs = 3600 * 1000;
  // How often old removals are forgotten.
  static constexpr int kPurgeEveryMs = 3600 * 1000;

  // The oldest news not taken yet; more tells whether others wait behind it. Any thread.
  std::optional<PoolNews> TakeNews(bool& more) { return news_.Take(more); }

 signals:
  // News waits where there was none.
  void Told();

 private:
  struct RunStart {
    std::vector<QString> addresses;
    bool whole = false;
    QString token;
  };
  struct RunStop {
    DbId run = 0;
  };
  struct LetGo {
    std::vector<DbId> ids;
  };
  struct HarvestEnd {};
  using Step = std::variant<WriteBatch, RunStart, RunStop, LetGo, HarvestEnd,
                            std::shared_ptr<std::promise<void>>>;

  std::optional<QString> Connect();
  std::optional<QString> OpenOnce(std::vector<DbRow>& rows);
  // True when a server listens where the target says and accepts connections.
  bool Answers() const;
  void Lose(const QString& reason);
  void Reconnect();
  void Queue(Step step);
  void Pump();
  std::optional<SqlFailure> Perform(Step& step, PoolNews& news);
  // A failure of a statement: false when the connection is gone or the step is to be tried
  // again; a statement the database refuses for good is reported and dropped.
  bool Survive(const SqlFailure& failure, PoolNews& news);
  void Follow();
  void Renew();
  void OnSocket();
  void Notice();
  void Tell(PoolNews news);
  // What a step that was done changes in held_.
  void Forget(const Step& step);

  PgTarget target_;
  QString owner_;
  int start_patience_ms_;
  QString connection_;
  Mailbox<PoolNews> news_;
  std::optional<PoolSql> sql_;  // while connected
  std::unique_ptr<QSocketNotifier> notifier_;
  std::deque<Step> backlog_;
  int64_t watermark_ = 0;
  int lease_sec_ = 0;  // as last claimed with
  // The rows this instance was told it holds, and their runs: the ones it renews. A claim
  // whose answer was lost to a cut connection holds rows nobody probes; left out here, their
  // leases expire and another instance takes them.
  std::unordered_map<DbId, DbId> held_;
  bool holds_harvest_ = false;
  int backoff_ms_ = 0;
  QElapsedTimer followed_;  // since the last whole follow
  QElapsedTimer purged_;
  QTimer follow_{this};
  QTimer soon_{this};  // a follow shortly after a notification, one for a burst of them
  QTimer renew_{this};
  QTimer reconnect_{this};
  QTimer retry_{this};
};

}  // namespace ph
