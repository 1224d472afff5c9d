#include "store/pg_schema.h"

#include "core/proxy_list.h"
#include "store/pool_sql.h"
#include "store/pool_tables.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The statements that bring version n - 1 to n, at index n - 1.
QStringList Step(int version) {
  if (version == 1) {
    QStringList cells;
    for (int cell = 2; cell < kCellCount; ++cell)
      cells << CellColumn(cell) + u" text NOT NULL DEFAULT ''"_s;
    return {
        u"CREATE TABLE %1 (key text PRIMARY KEY, value text NOT NULL)"_s.arg(kMetaTable),
        u"INSERT INTO %1 VALUES ('schema_version', '0')"_s.arg(kMetaTable),
        u"CREATE SEQUENCE %1"_s.arg(kVersionSequence),
        // One row per proxy: the address, with its scheme, is the key.
        u"CREATE TABLE %1 (id bigserial PRIMARY KEY, address text NOT NULL UNIQUE, %2, "
        u"colour bigint NOT NULL DEFAULT 0, version bigint NOT NULL)"_s.arg(kRowsTable,
                                                                            cells.join(u", "_s)),
        u"CREATE INDEX %1_version ON %1 (version)"_s.arg(kRowsTable),
        // What was removed, for the instances that follow the table.
        u"CREATE TABLE %1 (id bigint NOT NULL, version bigint NOT NULL, removed_at timestamptz "
        u"NOT NULL DEFAULT now())"_s.arg(kRemovedTable),
        u"CREATE INDEX %1_version ON %1 (version)"_s.arg(kRemovedTable),
    };
  }
  return {
      u"ALTER TABLE %1 ADD COLUMN validated_by text NOT NULL DEFAULT '', ADD COLUMN due_run "
      u"bigint, ADD COLUMN lease_owner text, ADD COLUMN lease_until timestamptz"_s.arg(kRowsTable),
      // Leases are found through the rows due (a held row is always due): with no index of
      // their own, a claim or a renewal rewrites the row in its page (a heap-only update)
      // where the page has room, which the fill factor leaves.
      u"CREATE INDEX %1_due ON %1 (due_run, id) WHERE due_run IS NOT NULL"_s.arg(kRowsTable),
      u"ALTER TABLE %1 SET (fillfactor = 70)"_s.arg(kRowsTable),
      u"CREATE TABLE %1 (id bigserial PRIMARY KEY, started_by text NOT NULL, token text UNIQUE, "
      u"started_at timestamptz NOT NULL DEFAULT now(), total integer NOT NULL DEFAULT 0, stopped "
      u"boolean NOT NULL DEFAULT false, finished boolean NOT NULL DEFAULT false)"_s.arg(kRunsTable),
      u"CREATE TABLE %1 (job text PRIMARY KEY, at timestamptz NOT NULL)"_s.arg(kClockTable),
      u"INSERT INTO %1 VALUES ('harvest', '-infinity'), ('retest', '-infinity')"_s.arg(kClockTable),
  };
}

QString Failed(const QString& what, const QSqlDatabase& db, const QSqlError& error) {
  return what + u": "_s + ErrorText(db, error);
}

// The version the tables are at: 0 for none; the reason when they are not ours.
std::optional<QString> FoundVersion(const QSqlDatabase& db, QSqlQuery& query, int& version) {
  if (!query.exec(u"SELECT to_regclass('%1') IS NOT NULL, to_regclass('%2') IS NOT NULL"_s.arg(
          kMetaTable, kRowsTable)))
    return Failed(u"无法读取数据库"_s, db, query.lastError());
  query.next();
  const bool meta = query.value(0).toBool();
  const bool rows = query.value(1).toBool();
  version = 0;
  if (!meta) {
    if (rows) return u"数据库中的表 %1 不是本程序的格式"_s.arg(kRowsTable);
    return std::nullopt;
  }
  if (!query.exec(u"SELECT value FROM %1 WHERE key = 'schema_version'"_s.arg(kMetaTable)))
    return Failed(u"无法读取数据库的格式版本"_s, db, query.lastError());
  bool number = false;
  version = query.next() ? query.value(0).toString().toInt(&number) : 0;
  if (!number || version < 1) return u"数据库中的表 %1 不是本程序的格式"_s.arg(kMetaTable);
  return std::nullopt;
}

}  // namespace

QString NewerSchemaText(int found) {
  return u"数据库的格式版本 %1 比本程序所用的版本 %2 新: 请使用新版本的程序"_s.arg(found).arg(
      kSchemaVersion);
}

std::optional<QString> MigrateSchema(QSqlDatabase& db, int target) {
  QSqlQuery query(db);
  const QString lock = u"(%1, %2)"_s.arg(kLockSpace).arg(kMigrationLock);
  if (!query.exec(u"SELECT pg_advisory_lock"_s + lock))
    return Failed(u"无法锁定数据库的格式"_s, db, query.lastError());
  int version = 0;
  std::optional<QString> refusal = FoundVersion(db, query, version);
  if (!refusal && version > kSchemaVersion) refusal = NewerSchemaText(version);
  // Each step and its version number in one transaction: a failed step leaves the version
  // before it.
  for (int step = version + 1; !refusal && step <= target; ++step) {
    if (!db.transaction()) {
      refusal = Failed(u"无法开始修改数据库"_s, db, db.lastError());
      break;
    }
    QStringList statements = Step(step);
    statements
        << u"UPDATE %1 SET value = '%2' WHERE key = 'schema_version'"_s.arg(kMetaTable).arg(step);
    for (const QString& statement : statements) {
      if (!query.exec(statement)) {
        refusal = Failed(u"无法升级数据库的格式到版本 %1"_s.arg(step), db, query.lastError());
        break;
      }
    }
    if (refusal || !db.commit()) {
      if (!refusal) refusal = Failed(u"无法升级数据库的格式"_s, db, db.lastError());
      db.rollback();
    }
  }
  query.exec(u"SELECT pg_advisory_unlock"_s + lock);
  return refusal;
}

}  // namespace ph
