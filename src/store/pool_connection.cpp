#include "store/pool_connection.h"

#include "store/pg_schema.h"
#include "store/pool_tables.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QUuid>

#include <libpq-fe.h>

#include <algorithm>
#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// A connection that cannot be made in this time fails; a peer that stops answering is noticed
// by keepalives and by unacknowledged data within about ten seconds, however a statement
// waits on it.
const QString kConnectOptions =
    u"connect_timeout=5;keepalives=1;keepalives_idle=5;keepalives_interval=2;"
    u"keepalives_count=3;tcp_user_timeout=10000;application_name=proxyharvest"_s;
constexpr int kFirstBackoffMs = 250;
constexpr int kMostBackoffMs = 2000;
// A step the database could not do now (a deadlock, a lock) is tried again after this.
constexpr int kRetryMs = 300;
// Notifications in a burst are taken together.
constexpr int kSoonMs = 20;

}  // namespace

PoolConnection::PoolConnection(PgTarget target, QString owner, int start_patience_ms)
    : target_(std::move(target)),
      owner_(std::move(owner)),
      start_patience_ms_(start_patience_ms),
      connection_(u"pool-"_s + QUuid::createUuid().toString()) {
  follow_.setInterval(kFollowMs);
  connect(&follow_, &QTimer::timeout, this, &PoolConnection::Follow);
  soon_.setSingleShot(true);
  soon_.setInterval(kSoonMs);
  connect(&soon_, &QTimer::timeout, this, &PoolConnection::Follow);
  connect(&renew_, &QTimer::timeout, this, &PoolConnection::Renew);
  reconnect_.setSingleShot(true);
  connect(&reconnect_, &QTimer::timeout, this, &PoolConnection::Reconnect);
  retry_.setSingleShot(true);
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &PoolConnection::Pump);
}

PoolConnection::~PoolConnection() {
  notifier_.reset();
  sql_.reset();
  { QSqlDatabase::database(connection_, false).close(); }
  QSqlDatabase::removeDatabase(connection_);
}

std::optional<QString> PoolConnection::Connect() {
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!db.isValid()) {
    db = QSqlDatabase::addDatabase(u"QPSQL"_s, connection_);
    if (!db.isValid()) return u"PostgreSQL 驱动不可用 (libqt6sql6-psql)"_s;
    db.setHostName(target_.host);
    db.setPort(target_.port);
    db.setUserName(target_.user);
    db.setPassword(target_.password);
    db.setDatabaseName(target_.database);
    db.setConnectOptions(target_.options.isEmpty() ? kConnectOptions
                                                   : kConnectOptions + u';' + target_.options);
  }
  if (!db.open()) return ErrorText(db, db.lastError());
  sql_.emplace(db, owner_);
  if (const std::optional<SqlFailure> failure = sql_->Listen()) {
    sql_.reset();
    db.close();
    return failure->text;
  }
  // Notifications are read off the connection's socket by libpq itself: Qt's own notifier
  // would go on firing on the socket of a connection that has died.
  if (PGconn* handle = PgHandle(db)) {
    notifier_ = std::make_unique<QSocketNotifier>(PQsocket(handle), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PoolConnection::OnSocket);
  }
  backoff_ms_ = 0;
  return std::nullopt;
}

std::optional<PoolConnection::OpenRefusal> PoolConnection::Open(std::vector<DbRow>& rows,
                                                                QString& waited_for) {
  const QDeadlineTimer patience(start_patience_ms_);
  int pause_ms = kFirstBackoffMs;
  bool answered = false;
  while (true) {
    const std::optional<QString> failure = OpenOnce(rows);
    if (!failure) return std::nullopt;
    // A database that answers and refuses (a password, a schema) refuses again at once; the
    // one try more is for one that became ready between the two ("starting up").
    if (Answers()) {
      if (answered) return OpenRefusal{*failure, false};
      answered = true;
      continue;
    }
    if (patience.hasExpired()) return OpenRefusal{*failure, true};
    if (waited_for.isEmpty()) waited_for = *failure;
    QThread::msleep(
        static_cast<unsigned long>(std::clamp<qint64>(patience.remainingTime(), 0, pause_ms)));
    pause_ms = std::min(pause_ms * 2, kMostBackoffMs);
  }
}

std::optional<QString> PoolConnection::OpenOnce(std::vector<DbRow>& rows) {
  std::optional<QString> failure = Connect();
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!failure) failure = MigrateSchema(db);
  if (!failure) {
    rows.clear();
    if (const std::optional<SqlFailure> load = sql_->Load(rows, watermark_)) failure = load->text;
  }
  if (!failure) {
    follow_.start();
    followed_.start();
    return std::nullopt;
  }
  notifier_.reset();
  sql_.reset();
  db.close();
  return failure;
}

bool PoolConnection::Answers() const {
  // libpq's ping: whether a server is there and takes connections, without logging in.
  std::vector<std::string> keys{"connect_timeout"};
  std::vector<std::string> values{"5"};
  const auto add = [&](const char* key, const QString& value) {
    if (value.isEmpty()) return;
    keys.emplace_back(key);
    values.push_back(value.toStdString());
  };
  add("host", target_.host);
  add("port", target_.port > 0 ? QString::number(target_.port) : QString());
  add("user", target_.user);
  add("dbname", target_.database);
  for (const QString& option : target_.options.split(u';', Qt::SkipEmptyParts)) {
    keys.push_back(option.section(u'=', 0, 0).toStdString());
    values.push_back(option.section(u'=', 1).toStdString());
  }
  std::vector<const char*> key_texts;
  std::vector<const char*> value_texts;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    key_texts.push_back(keys[i].c_str());
    value_texts.push_back(values[i].c_str());
  }
  key_texts.push_back(nullptr);
  value_texts.push_back(nullptr);
  const PGPing ping = PQpingParams(key_texts.data(), value_texts.data(), 0);
  return ping != PQPING_NO_RESPONSE && ping != PQPING_REJECT;
}

void PoolConnection::Tell(PoolNews news) {
  if (news_.Put(std::move(news))) emit Told();
}

void PoolConnection::Lose(const QString& reason) {
  const bool was_connected = sql_.has_value();
  notifier_.reset();
  sql_.reset();
  QSqlDatabase::database(connection_, false).close();
  renew_.stop();
  followed_.invalidate();
  if (was_connected) {
    PoolNews news;
    news.lost = reason;
    Tell(std::move(news));
  }
  backoff_ms_ = backoff_ms_ == 0 ? kFirstBackoffMs : std::min(backoff_ms_ * 2, kMostBackoffMs);
  reconnect_.start(backoff_ms_);
}

void PoolConnection::Reconnect() {
  if (sql_) return;
  if (const std::optional<QString> failure = Connect()) {
    Lose(*failure);
    return;
  }
  PoolNews news;
  news.back = true;
  Tell(std::move(news));
  // A harvest's lock went with the old session.
  holds_harvest_ = false;
  Renew();
  Pump();
  Follow();
}

bool PoolConnection::Survive(const SqlFailure& failure, PoolNews& news) {
  if (failure.lost) {
    Lose(failure.text);
    return false;
  }
  if (failure.transient) {
    retry_.start();
    return false;
  }
  news.refused = failure.text;
  return true;
}

void PoolConnection::Queue(Step step) {
  // Writes in a row while the database is away become one: a row written again is written
  // once, as it was last.
  if (!sql_ && !backlog_.empty() && std::holds_alternative<WriteBatch>(step) &&
      std::holds_alternative<WriteBatch>(backlog_.back())) {
    WriteBatch& last = std::get<WriteBatch>(backlog_.back());
    WriteBatch& next = std::get<WriteBatch>(step);
    last.writes.insert(last.writes.end(), std::make_move_iterator(next.writes.begin()),
                       std::make_move_iterator(next.writes.end()));
    last.removals.insert(last.removals.end(), next.removals.begin(), next.removals.end());
    return;
  }
  backlog_.push_back(std::move(step));
  Pump();
}

void PoolConnection::Write(WriteBatch batch) { Queue(std::move(batch)); }
void PoolConnection::StartRun(std::vector<QString> addresses, bool whole) {
  Queue(RunStart{std::move(addresses), whole, QUuid::createUuid().toString(QUuid::WithoutBraces)});
}
void PoolConnection::StopRun(DbId run) { Queue(RunStop{run}); }
void PoolConnection::Release(std::vector<DbId> ids) { Queue(LetGo{std::move(ids)}); }
void PoolConnection::EndHarvest() { Queue(HarvestEnd{}); }
void PoolConnection::Settle(std::shared_ptr<std::promise<void>> written) {
  Queue(std::move(written));
}

std::optional<SqlFailure> PoolConnection::Perform(Step& step, PoolNews& news) {
  if (auto* batch = std::get_if<WriteBatch>(&step)) {
    std::optional<SqlFailure> failure = sql_->Write(*batch, news);
    // What is left of a run is told soon after results, not at the next poll.
    const bool results = std::any_of(batch->writes.begin(), batch->writes.end(),
                                     [](const RowWrite& write) { return write.run != 0; });
    if (!failure && results && !soon_.isActive()) soon_.start();
    return failure;
  }
  if (auto* start = std::get_if<RunStart>(&step)) {
    StartedRun started;
    std::optional<SqlFailure> failure =
        sql_->StartRun(start->addresses, start->whole, start->token, started);
    if (!failure) news.started = started;
    return failure;
  }
  if (auto* stop = std::get_if<RunStop>(&step)) return sql_->StopRun(stop->run);
  if (auto* let_go = std::get_if<LetGo>(&step)) return sql_->Release(let_go->ids);
  if (std::holds_alternative<HarvestEnd>(step)) {
    if (!holds_harvest_) return std::nullopt;
    holds_harvest_ = false;
    return sql_->EndHarvest();
  }
  std::get<std::shared_ptr<std::promise<void>>>(step)->set_value();
  return std::nullopt;
}

void PoolConnection::Pump() {
  while (sql_ && !backlog_.empty()) {
    PoolNews news;
    const std::optional<SqlFailure> failure = Perform(backlog_.front(), news);
    if (failure && !Survive(*failure, news)) return;
    if (failure && std::holds_alternative<RunStart>(backlog_.front())) news.started = StartedRun{};
    if (!failure) Forget(backlog_.front());
    backlog_.pop_front();
    Tell(std::move(news));
  }
  Notice();
}

void PoolConnection::Forget(const Step& step) {
  if (const auto* batch = std::get_if<WriteBatch>(&step)) {
    // A result ends the lease it was claimed under (or finds it passed on already).
    for (const RowWrite& write : batch->writes)
      if (write.run != 0) held_.erase(write.id);
  } else if (const auto* let_go = std::get_if<LetGo>(&step)) {
    if (let_go->ids.empty()) held_.clear();
    for (const DbId id : let_go->ids) held_.erase(id);
  } else if (const auto* stop = std::get_if<RunStop>(&step)) {
    std::erase_if(held_, [stop](const auto& entry) { return entry.second == stop->run; });
  }
}

void PoolConnection::Claim(DbId run, int most, int lease_sec) {
  lease_sec_ = lease_sec;
  // Leases are renewed three times within their time, so a live instance never loses one.
  const int renew_ms = std::max(lease_sec * 1000 / 3, 200);
  if (renew_.interval() != renew_ms || !renew_.isActive()) renew_.start(renew_ms);
  PoolNews news;
  if (sql_) {
    if (const std::optional<SqlFailure> failure = sql_->Claim(run, most, lease_sec, news)) {
      news = PoolNews{};
      Survive(*failure, news);
    } else {
      for (const DbId id : news.claim->ids) held_[id] = run;
    }
  }
  // Claimed or not, the window's thread hears the answer.
  if (!news.claim) news.claim = ph::Claim{run, {}};
  Tell(std::move(news));
  Notice();
}

void PoolConnection::TakeTurn(int token, bool harvest, int interval_sec) {
  PoolNews news;
  news.gate = GateAnswer{token, false};
  if (sql_) {
    bool go = false;
    if (const std::optional<SqlFailure> failure = sql_->TakeTurn(harvest, interval_sec, go)) {
      Survive(*failure, news);
    } else {
      news.gate->go = go;
      if (harvest && go) holds_harvest_ = true;
    }
  }
  Tell(std::move(news));
}

void PoolConnection::Renew() {
  if (!sql_ || lease_sec_ <= 0 || held_.empty()) return;
  std::vector<DbId> ids;
  ids.reserve(held_.size());
  for (const auto& [id, run] : held_) ids.push_back(id);
  if (const std::optional<SqlFailure> failure = sql_->Renew(lease_sec_, ids)) {
    PoolNews news;
    if (Survive(*failure, news) && !news.refused.isEmpty()) Tell(std::move(news));
  }
}

void PoolConnection::Follow() {
  if (!sql_) return;
  if (!purged_.isValid() || purged_.hasExpired(kPurgeEveryMs)) {
    if (const std::optional<SqlFailure> failure = sql_->PurgeRemoved()) {
      PoolNews news;
      if (!Survive(*failure, news)) return;
      Tell(std::move(news));
    }
    purged_.start();
  }
  if (!followed_.isValid() || followed_.hasExpired(kReadIdsAfterMs)) {
    PoolNews news;
    news.present.emplace();
    if (const std::optional<SqlFailure> failure = sql_->Ids(*news.present)) {
      news = PoolNews{};
      if (Survive(*failure, news)) Tell(std::move(news));
      return;
    }
    Tell(std::move(news));
  }
  // Slice after slice until a short one: each is applied in a turn of its own.
  while (true) {
    PoolNews news;
    if (const std::optional<SqlFailure> failure = sql_->Follow(watermark_, news)) {
      if (Survive(*failure, news)) Tell(std::move(news));
      return;
    }
    const bool more = news.rows.size() + news.removed.size() >= PoolSql::kFollowSlice;
    if (!more) {
      std::optional<RunNews> run;
      if (const std::optional<SqlFailure> failure = sql_->NewestRun(run)) {
        if (!Survive(*failure, news)) return;
      }
      news.run = run;
    }
    Tell(std::move(news));
    if (!more) break;
  }
  followed_.start();
  Notice();
}

void PoolConnection::OnSocket() {
  PGconn* handle = sql_ ? PgHandle(QSqlDatabase::database(connection_, false)) : nullptr;
  if (handle == nullptr) return;
  if (PQconsumeInput(handle) == 0 || PQstatus(handle) != CONNECTION_OK) {
    Lose(QString::fromUtf8(PQerrorMessage(handle)).trimmed());
    return;
  }
  Notice();
}

void PoolConnection::Notice() {
  // Statements read the notifications that came meanwhile off the socket too: they wait in
  // libpq's queue.
  PGconn* handle = sql_ ? PgHandle(QSqlDatabase::database(connection_, false)) : nullptr;
  if (handle == nullptr) return;
  bool others = false;
  while (PGnotify* notify = PQnotifies(handle)) {
    // Our own writes need no reading back.
    if (notify->be_pid != PQbackendPID(handle)) others = true;
    PQfreemem(notify);
  }
  if (others && !soon_.isActive()) soon_.start();
}

}  // namespace ph
