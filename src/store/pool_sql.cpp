#include "store/pool_sql.h"

#include "store/pool_tables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QVariant>

#include <libpq-fe.h>

#include <algorithm>
#include <functional>
#include <map>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The columns a DbRow is read from, in ReadRow's order.
QString RowColumns(const QString& prefix = {}) {
  QStringList columns{prefix + u"id"_s, prefix + u"version"_s};
  for (int cell = 1; cell < kCellCount; ++cell) columns << prefix + CellColumn(cell);
  columns << prefix + u"colour"_s;
  return columns.join(u", "_s);
}
constexpr int kRowColumnCount = 2 + (kCellCount - 1) + 1;

DbRow ReadRow(const QSqlQuery& query) {
  DbRow row;
  row.id = query.value(0).toLongLong();
  row.version = query.value(1).toLongLong();
  for (int cell = 1; cell < kCellCount; ++cell)
    row.cells[static_cast<std::size_t>(cell)] = query.value(cell + 1).toString();
  row.colour = static_cast<QRgb>(query.value(kCellCount + 1).toLongLong());
  return row;
}

// PostgreSQL's text holds no NUL character.
QString Storable(const QString& text) {
  if (!text.contains(QChar(0))) return text.isNull() ? u""_s : text;
  QString copy = text;
  copy.remove(QChar(0));
  return copy;
}

// The cells from first on, and the colour, of a row to write, as one JSON object.
QJsonObject RowObject(const RowWrite& write, int first_cell) {
  QJsonObject object;
  for (int cell = first_cell; cell < kCellCount; ++cell)
    object.insert(CellColumn(cell), Storable(write.cells[static_cast<std::size_t>(cell)]));
  object.insert(u"colour"_s, static_cast<qint64>(write.colour));
  return object;
}

// "i(id bigint, c2 text, ...)": the record type jsonb_to_recordset reads a batch as.
QString RecordType(const QStringList& keys, int first_cell) {
  QStringList columns;
  for (const QString& key : keys) columns << key + u" bigint"_s;
  for (int cell = first_cell; cell < kCellCount; ++cell) columns << CellColumn(cell) + u" text"_s;
  columns << u"colour bigint"_s;
  return u"i("_s + columns.join(u", "_s) + u')';
}

QString JsonText(const QJsonArray& array) {
  return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// "id = ANY(array)" is looked up in the primary key whatever the table's size; a join with a
// set of ids may be planned as a scan of the whole table.
QString AnyId(const QString& column, const std::vector<DbId>& ids) {
  QStringList numbers;
  numbers.reserve(static_cast<qsizetype>(ids.size()));
  for (const DbId id : ids) numbers << QString::number(id);
  return u"%1 = ANY('{%2}'::bigint[])"_s.arg(column, numbers.join(u','));
}

bool TransientState(const QString& state) {
  // Serialisation failures and deadlocks, lock waits and cancelled statements, a server out
  // of resources or shutting down, a broken connection.
  return state.startsWith(u"40"_s) || state.startsWith(u"53"_s) || state.startsWith(u"08"_s) ||
         state.startsWith(u"57"_s) || state == u"55P03"_s;
}

}  // namespace

pg_conn* PgHandle(const QSqlDatabase& db) {
  if (!db.isValid() || db.driver() == nullptr) return nullptr;
  const QVariant handle = db.driver()->handle();
  // The driver names the type as it declared it, or as Qt normalised it (libpq's typedef
  // resolved): "PGconn*" or "pg_conn*".
  if (!handle.isValid() ||
      (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
    return nullptr;
  return *static_cast<PGconn* const*>(handle.constData());
}

QString ErrorText(const QSqlDatabase& db, const QSqlError& error) {
  QString text = error.text().trimmed();
  if (!text.isEmpty()) return text;
  if (PGconn* handle = PgHandle(db)) text = QString::fromUtf8(PQerrorMessage(handle)).trimmed();
  return text.isEmpty() ? u"与数据库的连接已断开"_s : text;
}

QString PoolSql::Literal(const QString& text) const {
  QSqlField field(u""_s, QMetaType(QMetaType::QString));
  field.setValue(Storable(text));
  return db_.driver()->formatValue(field);
}

SqlFailure PoolSql::Failed(const QSqlQuery& query) const {
  const QSqlError error = query.lastError();
  SqlFailure failure;
  failure.text = ErrorText(db_, error);
  failure.lost = !db_.isOpen();
  failure.transient = failure.lost || TransientState(error.nativeErrorCode());
  return failure;
}

std::optional<SqlFailure> PoolSql::Exec(QSqlQuery& query, const QString& statement) const {
  if (query.exec(statement)) return std::nullopt;
  return Failed(query);
}

std::optional<SqlFailure> PoolSql::Exec(const QString& statement) const {
  QSqlQuery query(db_);
  return Exec(query, statement);
}

std::optional<SqlFailure> PoolSql::InTransaction(
    const std::function<std::optional<SqlFailure>()>& body) {
  if (auto failure = Exec(u"BEGIN"_s)) return failure;
  std::optional<SqlFailure> failure = body();
  if (!failure) failure = Exec(u"COMMIT"_s);
  if (failure && db_.isOpen()) Exec(u"ROLLBACK"_s);
  return failure;
}

std::optional<SqlFailure> PoolSql::Listen() { return Exec(u"LISTEN "_s + kChannel); }

std::optional<SqlFailure> PoolSql::Fetch(const QString& where, std::vector<DbRow>& rows) {
  QSqlQuery query(db_);
  if (auto failure =
          Exec(query, u"SELECT %1 FROM %2 WHERE %3"_s.arg(RowColumns(), kRowsTable, where)))
    return failure;
  while (query.next()) rows.push_back(ReadRow(query));
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::Load(std::vector<DbRow>& rows, int64_t& watermark) {
  return InTransaction([&]() -> std::optional<SqlFailure> {
    // One snapshot for the rows and the watermark: nothing falls between them.
    if (auto failure = Exec(u"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY"_s))
      return failure;
    QSqlQuery query(db_);
    if (auto failure = Exec(query,
                            u"SELECT greatest((SELECT max(version) FROM %1), "
                            u"(SELECT max(version) FROM %2), 0)"_s.arg(kRowsTable, kRemovedTable)))
      return failure;
    watermark = query.next() ? query.value(0).toLongLong() : 0;
    return Fetch(u"true ORDER BY id"_s, rows);
  });
}

std::optional<SqlFailure> PoolSql::Follow(int64_t& watermark, PoolNews& news) {
  // One statement, so one snapshot: rows and removals up to the highest version it returns
  // are all there.
  QStringList blanks;
  for (int cell = 1; cell < kCellCount; ++cell) blanks << u"''"_s;
  QSqlQuery query(db_);
  const QString statement =
      u"SELECT * FROM (SELECT %1, false AS gone FROM %2 WHERE version > %4 UNION ALL "
      u"SELECT id, version, %5, 0, true FROM %3 WHERE version > %4) AS changes "
      u"ORDER BY version LIMIT %6"_s.arg(RowColumns(), kRowsTable, kRemovedTable)
          .arg(watermark)
          .arg(blanks.join(u", "_s))
          .arg(kFollowSlice);
  if (auto failure = Exec(query, statement)) return failure;
  while (query.next()) {
    DbRow row = ReadRow(query);
    watermark = std::max(watermark, row.version);
    if (query.value(kRowColumnCount).toBool()) {
      news.removed.push_back(row.id);
    } else {
      news.rows.push_back(std::move(row));
    }
  }
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::Ids(std::vector<DbId>& ids) {
  QSqlQuery query(db_);
  query.setForwardOnly(true);
  if (auto failure = Exec(query, u"SELECT id FROM %1"_s.arg(kRowsTable))) return failure;
  while (query.next()) ids.push_back(query.value(0).toLongLong());
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::PurgeRemoved() {
  return Exec(
      u"DELETE FROM %1 WHERE removed_at < now() - make_interval(secs => %2)"_s.arg(kRemovedTable)
          .arg(kKeepRemovedSec));
}

std::optional<SqlFailure> PoolSql::Write(const WriteBatch& batch, PoolNews& news) {
  std::vector<const RowWrite*> inserts;
  std::vector<const RowWrite*> updates;
  for (const RowWrite& write : batch.writes)
    (write.kind == RowWrite::Kind::kInsert ? inserts : updates).push_back(&write);
  return InTransaction([&]() -> std::optional<SqlFailure> {
    if (auto failure =
            Exec(u"SELECT pg_advisory_xact_lock(%1, %2)"_s.arg(kLockSpace).arg(kVersionLock)))
      return failure;
    if (!inserts.empty())
      if (auto failure = Insert(inserts, news)) return failure;
    if (!updates.empty())
      if (auto failure = Update(updates, news)) return failure;
    if (!batch.removals.empty())
      if (auto failure = Remove(batch.removals)) return failure;
    return Exec(u"SELECT pg_notify('%1', '')"_s.arg(kChannel));
  });
}

std::optional<SqlFailure> PoolSql::Insert(const std::vector<const RowWrite*>& rows,
                                          PoolNews& news) {
  QJsonArray input;
  std::multimap<QString, RowId> local_of;  // an address may come twice in one batch
  for (const RowWrite* write : rows) {
    QJsonObject object = RowObject(*write, 1);
    object.insert(u"local"_s, static_cast<qint64>(write->local));
    input.append(object);
    local_of.emplace(Storable(write->cells[kAddress]), write->local);
  }
  QStringList columns;
  for (int cell = 1; cell < kCellCount; ++cell) columns << CellColumn(cell);
  columns << u"colour"_s;
  QSqlQuery query(db_);
  const QString statement =
      u"INSERT INTO %1 (%2, version) SELECT %2, nextval('%3') FROM jsonb_to_recordset(%4::jsonb) "
      u"AS %5 ORDER BY local ON CONFLICT (address) DO NOTHING RETURNING %6"_s.arg(
          kRowsTable, columns.join(u", "_s), kVersionSequence, Literal(JsonText(input)),
          RecordType({u"local"_s}, 1), RowColumns());
  if (auto failure = Exec(query, statement)) return failure;
  while (query.next()) {
    DbRow row = ReadRow(query);
    const auto found = local_of.find(row.cells[kAddress]);
    if (found != local_of.end()) {
      news.inserted.push_back({found->second, row.id, true});
      local_of.erase(found);
    }
    news.rows.push_back(std::move(row));
  }
  if (local_of.empty()) return std::nullopt;
  // The others' addresses were kept already: their rows as kept. A row committed after this
  // statement's snapshot is seen by the next one.
  QJsonArray addresses;
  for (const auto& [address, local] : local_of) addresses.append(address);
  std::vector<DbRow> kept;
  if (auto failure = Fetch(u"address IN (SELECT jsonb_array_elements_text(%1::jsonb))"_s.arg(
                               Literal(JsonText(addresses))),
                           kept))
    return failure;
  for (DbRow& row : kept) {
    const auto [first, last] = local_of.equal_range(row.cells[kAddress]);
    for (auto it = first; it != last; ++it) news.inserted.push_back({it->second, row.id, false});
    local_of.erase(first, last);
    news.rows.push_back(std::move(row));
  }
  // An address removed again at once has no row: the list's row is to be written anew.
  for (const auto& [address, local] : local_of) news.inserted.push_back({local, 0, false});
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::Update(const std::vector<const RowWrite*>& rows,
                                          PoolNews& news) {
  QJsonArray results;
  QJsonArray edits;
  std::vector<DbId> result_ids;
  std::vector<DbId> edit_ids;
  for (const RowWrite* write : rows) {
    QJsonObject object = RowObject(*write, 2);
    object.insert(u"id"_s, static_cast<qint64>(write->id));
    if (write->kind == RowWrite::Kind::kResult) {
      object.insert(u"run"_s, static_cast<qint64>(write->run));
      results.append(object);
      result_ids.push_back(write->id);
    } else {
      object.insert(u"version"_s, static_cast<qint64>(write->version));
      edits.append(object);
      edit_ids.push_back(write->id);
    }
  }
  QStringList take_all;
  QStringList take_unless_newer;
  QStringList kept_cells;
  QStringList new_cells;
  for (int cell = 2; cell < kCellCount; ++cell) {
    const QString column = CellColumn(cell);
    take_all << u"%1 = i.%1"_s.arg(column);
    if (cell == kRegion) continue;
    take_unless_newer << u"%1 = CASE WHEN p.version = i.version THEN i.%1 ELSE p.%1 END"_s.arg(
        column);
    kept_cells << u"p."_s + column;
    new_cells << u"i."_s + column;
  }
  take_all << u"colour = i.colour"_s;
  take_unless_newer
      << u"colour = CASE WHEN p.version = i.version THEN i.colour ELSE p.colour END"_s;
  kept_cells << u"p.colour"_s;
  new_cells << u"i.colour"_s;

  if (!results.isEmpty()) {
    // A result is written whatever came before it; it ends the lease only where this
    // instance still holds the row for that run (an expired lease may have passed on). The
    // lease is judged on the row as the update finds it: a row another writer changed
    // meanwhile is judged again as that writer left it.
    const QString mine = u"p.lease_owner = %1 AND p.due_run = i.run"_s.arg(Literal(owner_));
    QSqlQuery query(db_);
    const QString statement =
        u"UPDATE %1 p SET %2, validated_by = %3, version = nextval('%4'), "
        u"due_run = CASE WHEN %5 THEN NULL ELSE p.due_run END, "
        u"lease_owner = CASE WHEN %5 THEN NULL ELSE p.lease_owner END, "
        u"lease_until = CASE WHEN %5 THEN NULL ELSE p.lease_until END "
        u"FROM jsonb_to_recordset(%6::jsonb) AS %7 WHERE p.id = i.id AND %8 RETURNING p.id, "
        u"p.version"_s.arg(kRowsTable, take_all.join(u", "_s), Literal(owner_), kVersionSequence,
                           mine, Literal(JsonText(results)), RecordType({u"id"_s, u"run"_s}, 2),
                           AnyId(u"p.id"_s, result_ids));
    if (auto failure = Exec(query, statement)) return failure;
    // Every cell is now as written: only the versions come back.
    while (query.next())
      news.written.push_back({query.value(0).toLongLong(), query.value(1).toLongLong()});
  }
  if (!edits.isEmpty()) {
    // The region is the address's, whoever looked it up; the other cells are written only
    // where nobody wrote the row since the list read it, and nothing is written that is
    // there already.
    QSqlQuery query(db_);
    const QString statement =
        u"UPDATE %1 p SET c2 = i.c2, %2, version = nextval('%3') "
        u"FROM jsonb_to_recordset(%4::jsonb) AS %5 WHERE p.id = i.id AND %9 AND "
        u"(p.c2 IS DISTINCT FROM i.c2 OR (p.version = i.version AND (%6) IS DISTINCT FROM (%7))) "
        u"RETURNING %8"_s.arg(kRowsTable, take_unless_newer.join(u", "_s), kVersionSequence,
                              Literal(JsonText(edits)), RecordType({u"id"_s, u"version"_s}, 2),
                              kept_cells.join(u", "_s), new_cells.join(u", "_s),
                              RowColumns(u"p."_s), AnyId(u"p.id"_s, edit_ids));
    if (auto failure = Exec(query, statement)) return failure;
    while (query.next()) news.rows.push_back(ReadRow(query));
  }
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::Remove(const std::vector<DbId>& ids) {
  return Exec(
      u"WITH gone AS (DELETE FROM %1 WHERE %2 RETURNING id) INSERT INTO %3 (id, version) "
      u"SELECT id, nextval('%4') FROM gone"_s.arg(kRowsTable, AnyId(u"id"_s, ids), kRemovedTable,
                                                  kVersionSequence));
}

std::optional<SqlFailure> PoolSql::StartRun(const std::vector<QString>& addresses, bool whole,
                                            const QString& token, StartedRun& started) {
  DbId& run = started.run;
  return InTransaction([&]() -> std::optional<SqlFailure> {
    if (auto failure =
            Exec(u"SELECT pg_advisory_xact_lock(%1, %2)"_s.arg(kLockSpace).arg(kVersionLock)))
      return failure;
    QSqlQuery query(db_);
    // A start tried again after its answer was lost finds its run made already.
    if (auto failure = Exec(
            query, u"SELECT id, total FROM %1 WHERE token = %2"_s.arg(kRunsTable, Literal(token))))
      return failure;
    if (query.next()) {
      run = query.value(0).toLongLong();
      started.total = query.value(1).toInt();
      return std::nullopt;
    }
    if (auto failure =
            Exec(query, u"INSERT INTO %1 (started_by, token) VALUES (%2, %3) RETURNING id"_s.arg(
                            kRunsTable, Literal(owner_), Literal(token))))
      return failure;
    run = query.next() ? query.value(0).toLongLong() : 0;
    // The runs before it are over: their rows are due no more.
    if (auto failure = Exec(u"UPDATE %1 SET stopped = true WHERE id < %2 AND NOT stopped AND "
                            u"NOT finished"_s.arg(kRunsTable)
                                .arg(run)))
      return failure;
    if (auto failure = Exec(u"UPDATE %1 SET due_run = NULL, lease_owner = NULL, lease_until = "
                            u"NULL WHERE due_run IS NOT NULL"_s.arg(kRowsTable)))
      return failure;
    QStringList cleared;
    for (int cell = kTestResult; cell <= kTestedAt; ++cell)
      cleared << CellColumn(cell) + u" = ''"_s;
    QJsonArray chosen;
    for (const QString& address : addresses) chosen.append(Storable(address));
    const QString where = whole ? u"true"_s
                                : u"address IN (SELECT jsonb_array_elements_text(%1::jsonb))"_s.arg(
                                      Literal(JsonText(chosen)));
    if (auto failure = Exec(query,
                            u"UPDATE %1 SET due_run = %2, %3, version = nextval('%4') "
                            u"WHERE %5"_s.arg(kRowsTable)
                                .arg(run)
                                .arg(cleared.join(u", "_s), kVersionSequence, where)))
      return failure;
    const int total = query.numRowsAffected();
    started.total = total;
    if (auto failure =
            Exec(u"UPDATE %1 SET total = %2 WHERE id = %3"_s.arg(kRunsTable).arg(total).arg(run)))
      return failure;
    return Exec(u"SELECT pg_notify('%1', '')"_s.arg(kChannel));
  });
}

std::optional<SqlFailure> PoolSql::StopRun(DbId run) {
  return InTransaction([&]() -> std::optional<SqlFailure> {
    if (auto failure =
            Exec(u"UPDATE %1 SET stopped = true WHERE id = %2"_s.arg(kRunsTable).arg(run)))
      return failure;
    if (auto failure = Exec(u"UPDATE %1 SET due_run = NULL, lease_owner = NULL, lease_until = "
                            u"NULL WHERE due_run = %2"_s.arg(kRowsTable)
                                .arg(run)))
      return failure;
    return Exec(u"SELECT pg_notify('%1', '')"_s.arg(kChannel));
  });
}

std::optional<SqlFailure> PoolSql::NewestRun(std::optional<RunNews>& news) {
  QSqlQuery query(db_);
  if (auto failure = Exec(query,
                          u"SELECT id, total, NOT (stopped OR finished), (SELECT count(*) "
                          u"FROM %1 WHERE due_run = r.id) FROM %2 r ORDER BY id DESC "
                          u"LIMIT 1"_s.arg(kRowsTable, kRunsTable)))
    return failure;
  if (!query.next()) return std::nullopt;
  RunNews run;
  run.id = query.value(0).toLongLong();
  run.total = query.value(1).toInt();
  run.active = query.value(2).toBool();
  run.due = query.value(3).toInt();
  if (run.active && run.due == 0) {
    // Every row of it has its result: it is over for everyone.
    run.active = false;
    if (auto failure =
            Exec(u"UPDATE %1 SET finished = true WHERE id = %2"_s.arg(kRunsTable).arg(run.id)))
      return failure;
  }
  news = run;
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::Claim(DbId run, int most, int lease_sec, PoolNews& news) {
  QSqlQuery query(db_);
  const QString statement =
      u"UPDATE %1 SET lease_owner = %2, lease_until = now() + make_interval(secs => %3) "
      u"WHERE id = ANY(ARRAY(SELECT id FROM %1 WHERE due_run = %4 AND (lease_until IS NULL OR "
      u"lease_until < now()) ORDER BY id LIMIT %5 FOR UPDATE SKIP LOCKED)) RETURNING %6"_s
          .arg(kRowsTable, Literal(owner_))
          .arg(lease_sec)
          .arg(run)
          .arg(most)
          .arg(RowColumns());
  if (auto failure = Exec(query, statement)) return failure;
  ph::Claim claim{run, {}};
  while (query.next()) {
    DbRow row = ReadRow(query);
    claim.ids.push_back(row.id);
    news.rows.push_back(std::move(row));
  }
  news.claim = std::move(claim);
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::Renew(int lease_sec, const std::vector<DbId>& ids) {
  return Exec(
      u"UPDATE %1 SET lease_until = now() + make_interval(secs => %2) WHERE due_run IS "
      u"NOT NULL AND lease_owner = %3 AND %4"_s.arg(kRowsTable)
          .arg(lease_sec)
          .arg(Literal(owner_), AnyId(u"id"_s, ids)));
}

std::optional<SqlFailure> PoolSql::Release(const std::vector<DbId>& ids) {
  const QString which = ids.empty() ? u"true"_s : AnyId(u"id"_s, ids);
  return Exec(
      u"UPDATE %1 SET lease_owner = NULL, lease_until = NULL WHERE due_run IS NOT NULL AND "
      u"lease_owner = %2 AND %3"_s.arg(kRowsTable, Literal(owner_), which));
}

std::optional<SqlFailure> PoolSql::TakeTurn(bool harvest, int interval_sec, bool& go) {
  go = false;
  QSqlQuery query(db_);
  if (harvest) {
    if (auto failure =
            Exec(query, u"SELECT pg_try_advisory_lock(%1, %2)"_s.arg(kLockSpace).arg(kHarvestLock)))
      return failure;
    if (!query.next() || !query.value(0).toBool()) return std::nullopt;
  }
  // A validation's turn comes only while no run goes on anywhere.
  const QString idle =
      harvest ? u""_s
              : u" AND NOT EXISTS (SELECT 1 FROM %1 WHERE NOT stopped AND NOT finished)"_s.arg(
                    kRunsTable);
  if (auto failure = Exec(query,
                          u"UPDATE %1 SET at = now() WHERE job = '%2' AND at <= now() - "
                          u"make_interval(secs => %3)%4 RETURNING job"_s.arg(kClockTable)
                              .arg(harvest ? u"harvest"_s : u"retest"_s)
                              .arg(interval_sec)
                              .arg(idle)))
    return failure;
  go = query.next();
  if (harvest && !go) return EndHarvest();
  return std::nullopt;
}

std::optional<SqlFailure> PoolSql::EndHarvest() {
  return Exec(u"SELECT pg_advisory_unlock(%1, %2)"_s.arg(kLockSpace).arg(kHarvestLock));
}

}  // namespace ph
