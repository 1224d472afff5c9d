#include "store/sqlite_list_store.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QString kTable = u"proxy_rows"_s;
const QString kNoText = u""_s;

QStringList Columns() {
  QStringList columns{u"id"_s};
  for (int cell = 0; cell < kCellCount; ++cell) columns << u"c%1"_s.arg(cell);
  columns << u"colour"_s;
  return columns;
}

QString Failed(const QString& what, const QSqlError& error) {
  return what + u": "_s + error.text();
}

// SQLite's code for a file that is not a database.
constexpr QLatin1StringView kNotADatabase("26");

}  // namespace

SqliteListStore::SqliteListStore(QString path)
    : path_(std::move(path)), connection_(u"list-store-"_s + QUuid::createUuid().toString()) {}

SqliteListStore::~SqliteListStore() {
  { QSqlDatabase::database(connection_, false).close(); }
  QSqlDatabase::removeDatabase(connection_);
}

std::optional<QString> SqliteListStore::Open() {
  if (std::optional<QString> refusal = hold_.Take(path_)) return refusal;
  QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection_);
  if (!db.isValid()) return u"SQLite 驱动不可用 (libqt6sql6-sqlite)"_s;
  db.setDatabaseName(path_);
  if (!db.open()) return Failed(u"无法打开数据库 "_s + path_, db.lastError());
  // Read before anything is written: a file that is no database, or another program's
  // database, stays as it was.
  QSqlQuery query(db);
  if (!query.exec(u"SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND "
                  u"name NOT LIKE 'sqlite!_%' ESCAPE '!'"_s)) {
    if (query.lastError().nativeErrorCode() == kNotADatabase)
      return Failed(path_ + u" 不是 SQLite 数据库"_s, query.lastError());
    return Failed(u"无法读取数据库 "_s + path_, query.lastError());
  }
  bool exists = false;
  QStringList others;
  while (query.next()) {
    const QString name = query.value(0).toString();
    if (name == kTable) {
      exists = true;
    } else {
      others << name;
    }
  }
  if (!others.isEmpty()) {
    return path_ + u" 是其他程序的数据库 (其中有表 "_s + others.join(u", "_s) + u"), 不予使用"_s;
  }
  if (exists) {
    QStringList found;
    if (!query.exec(u"PRAGMA table_info(%1)"_s.arg(kTable)))
      return Failed(u"无法读取表 "_s + kTable, query.lastError());
    while (query.next()) found << query.value(1).toString();
    if (found != Columns()) return path_ + u" 中的表 "_s + kTable + u" 不是本程序的格式"_s;
  }
  for (const QString& statement :
       {u"PRAGMA journal_mode = WAL"_s, u"PRAGMA synchronous = NORMAL"_s}) {
    if (!query.exec(statement)) return Failed(statement, query.lastError());
  }
  if (!exists) {
    QStringList columns{u"id INTEGER PRIMARY KEY"_s};
    for (int cell = 0; cell < kCellCount; ++cell) columns << u"c%1 TEXT NOT NULL"_s.arg(cell);
    columns << u"colour INTEGER NOT NULL"_s;
    if (!query.exec(u"CREATE TABLE %1 (%2)"_s.arg(kTable, columns.join(u", "_s))))
      return Failed(u"无法建表"_s, query.lastError());
  }
  return std::nullopt;
}

std::optional<QString> SqliteListStore::Load(ProxyList& list) {
  QSqlQuery query(QSqlDatabase::database(connection_, false));
  query.setForwardOnly(true);
  // An id from elsewhere could wrap the next id round to one in use, or leave none to take.
  if (!query.exec(u"SELECT count(*) FROM %1 WHERE id < 1 OR id > %2"_s.arg(kTable).arg(kMostRowId)))
    return Failed(u"无法读取列表"_s, query.lastError());
  if (query.next() && query.value(0).toLongLong() > 0) {
    return path_ +
           u" 中有 %1 行的编号不在 1 到 %2 之间, 不予载入"_s.arg(query.value(0).toLongLong())
               .arg(kMostRowId);
  }
  if (!query.exec(u"SELECT %1 FROM %2 ORDER BY id"_s.arg(Columns().join(u", "_s), kTable)))
    return Failed(u"无法读取列表"_s, query.lastError());
  std::vector<ProxyList::StoredRow> rows;
  while (query.next()) {
    ProxyList::StoredRow& row = rows.emplace_back();
    row.id = query.value(0).toULongLong();
    for (int cell = 0; cell < kCellCount; ++cell)
      row.cells[static_cast<std::size_t>(cell)] = query.value(cell + 1).toString();
    row.result_colour = static_cast<QRgb>(query.value(kCellCount + 1).toUInt());
    kept_.insert(row.id);
  }
  list.RestoreRows(std::move(rows));
  return std::nullopt;
}

std::optional<QString> SqliteListStore::Save(ProxyList& list) {
  const std::vector<RowId> changed = list.ChangedRows();
  std::vector<RowId> removed;
  for (const RowId id : kept_)
    if (list.RowOf(id) == 0) removed.push_back(id);
  if (changed.empty() && removed.empty()) return std::nullopt;

  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!db.transaction()) return Failed(u"无法开始写入"_s, db.lastError());
  auto fail = [&](const QSqlQuery& query) {
    db.rollback();
    return Failed(u"写入列表失败"_s, query.lastError());
  };
  QSqlQuery remove(db);
  remove.prepare(u"DELETE FROM %1 WHERE id = ?"_s.arg(kTable));
  for (const RowId id : removed) {
    remove.bindValue(0, QVariant::fromValue<qulonglong>(id));
    if (!remove.exec()) return fail(remove);
  }
  QSqlQuery write(db);
  QStringList marks(kCellCount + 2, u"?"_s);
  write.prepare(u"INSERT OR REPLACE INTO %1 VALUES (%2)"_s.arg(kTable, marks.join(u',')));
  for (const RowId id : changed) {
    const int row = list.RowOf(id);
    if (row == 0) continue;
    write.bindValue(0, QVariant::fromValue<qulonglong>(id));
    const ProxyEntry& entry = list.Entry(row);
    for (int cell = 0; cell < kCellCount; ++cell) {
      // An empty cell is an empty text, never NULL.
      const QString& text = entry.Cell(cell);
      write.bindValue(cell + 1, text.isNull() ? kNoText : text);
    }
    write.bindValue(kCellCount + 1, QVariant::fromValue<uint>(entry.result_colour));
    if (!write.exec()) return fail(write);
  }
  if (!db.commit()) {
    db.rollback();
    return Failed(u"写入列表失败"_s, db.lastError());
  }
  for (const RowId id : removed) kept_.erase(id);
  for (const RowId id : changed)
    if (list.RowOf(id) != 0) kept_.insert(id);
  list.ClearChangedMarks();
  return std::nullopt;
}

}  // namespace ph
