#include "store/sqlite_list_store.h"

#include "core/proxy_list.h"
#include "store/store_keeper.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

NewRow FullRow(int i) { return test::ValidatedRow(u"10.0.0.%1:80"_s.arg(i), u"北京 联通"_s); }

QStringList Rows(const ProxyList& list) {
  QStringList rows;
  for (int row = 1; row <= list.RowCount(); ++row) {
    QStringList cells{QString::number(list.IdOf(row))};
    for (int cell = 0; cell < kCellCount; ++cell) cells << list.CellText(row, cell);
    cells << QString::number(list.Entry(row).result_colour);
    rows << cells.join(u'|');
  }
  return rows;
}

// Runs statements on the file at path with a plain connection of its own, as another
// program would; what the last one selects, one text per row with its values joined by "|".
QStringList Sql(const QString& path, const QStringList& statements, const QString& options = {}) {
  QStringList rows;
  const QString connection = QUuid::createUuid().toString();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
    db.setDatabaseName(path);
    db.setConnectOptions(options);
    EXPECT_TRUE(db.open());
    QSqlQuery query(db);
    for (const QString& statement : statements)
      EXPECT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
    while (query.next()) {
      QStringList values;
      for (int i = 0; i < query.record().count(); ++i) values << query.value(i).toString();
      rows << values.join(u'|');
    }
  }
  QSqlDatabase::removeDatabase(connection);
  return rows;
}

// The list as the file holds it now, read beside the store that holds it.
QStringList Reloaded(const QString& path) {
  return Sql(path, {u"SELECT * FROM proxy_rows ORDER BY id"_s}, u"QSQLITE_OPEN_READONLY"_s);
}

QByteArray Sha256(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

TEST(SqliteListStore, KeepsEveryCellIdentityAndColourAndWritesOnlyChanges) {
  test::TempProgramDir dir;
  const QString path = dir.File(u"list.db"_s);
  ProxyList list;
  for (int i = 1; i <= 5; ++i) list.AppendRow(FullRow(i));
  test::SetCell(list, 2, kRegion, QString());  // an empty cell stays empty, not NULL
  test::SetResultColour(list, 3, QColor(0, 255, 0));
  SqliteListStore store(path);
  ASSERT_EQ(store.Open(), std::nullopt);
  ASSERT_EQ(store.Save(list), std::nullopt);
  EXPECT_EQ(Reloaded(path), Rows(list));
  EXPECT_TRUE(list.ChangedRows().empty());

  // Removals, a change and an append; then a clear.
  list.RemoveRows({true, false, false, true});
  test::SetCell(list, 1, kTestCount, u"9"_s);
  list.AppendRow(FullRow(6));
  EXPECT_EQ(list.ChangedRows().size(), 2u);
  ASSERT_EQ(store.Save(list), std::nullopt);
  EXPECT_EQ(Reloaded(path), Rows(list));
  list.Clear();
  ASSERT_EQ(store.Save(list), std::nullopt);
  EXPECT_TRUE(Reloaded(path).isEmpty());
}

TEST(SqliteListStore, RestoredRowsKeepTheirIdsAndNewOnesComeAfter) {
  test::TempProgramDir dir;
  const QString path = dir.File(u"list.db"_s);
  {
    ProxyList list;
    for (int i = 1; i <= 3; ++i) list.AppendRow(FullRow(i));
    test::RemoveRow(list, 1);
    SqliteListStore store(path);
    ASSERT_EQ(store.Open(), std::nullopt);
    ASSERT_EQ(store.Save(list), std::nullopt);
  }
  SqliteListStore store(path);
  ASSERT_EQ(store.Open(), std::nullopt);
  ProxyList list;
  ASSERT_EQ(store.Load(list), std::nullopt);
  ASSERT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.IdOf(1), 2u);
  EXPECT_EQ(list.AppendRow(FullRow(9)), 3);
  EXPECT_EQ(list.IdOf(3), 4u);
  EXPECT_EQ(list.ChangedRows(), std::vector<RowId>({4}));
}

TEST(SqliteListStore, AFileThatIsNotOursIsRefusedAndLeftAsItWas) {
  test::TempProgramDir dir;
  const QByteArray garbage = QByteArray(4096, '\x5a') + "not a database";
  dir.Write(u"garbage.db"_s, garbage);
  const QDateTime modified = QFileInfo(dir.File(u"garbage.db"_s)).lastModified();
  {
    SqliteListStore store(dir.File(u"garbage.db"_s));
    const std::optional<QString> refusal = store.Open();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_TRUE(refusal->contains(u"不是 SQLite 数据库"_s)) << refusal->toStdString();
  }
  EXPECT_EQ(dir.Read(u"garbage.db"_s), garbage);
  EXPECT_EQ(QFileInfo(dir.File(u"garbage.db"_s)).lastModified(), modified);
  EXPECT_FALSE(QFileInfo::exists(dir.File(u"garbage.db-wal"_s)));
}

TEST(SqliteListStore, OneHolderAtATime) {
  test::TempProgramDir dir;
  const QString path = dir.File(u"list.db"_s);
  auto first = std::make_unique<SqliteListStore>(path);
  ASSERT_EQ(first->Open(), std::nullopt);
  {
    SqliteListStore second(path);
    EXPECT_EQ(second.Open(), u"数据库 "_s + path + u" 正由另一个进程使用"_s);
  }
  // The refused one took nothing: the first still writes.
  ProxyList list;
  list.AppendRow(FullRow(1));
  EXPECT_EQ(first->Save(list), std::nullopt);
  first.reset();
  SqliteListStore next(path);
  EXPECT_EQ(next.Open(), std::nullopt);
}

TEST(SqliteListStore, AFileItCannotWriteIsRefusedWithWhatIsWrongAndLeftAsItWas) {
  const auto read_only = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
  const auto read_write = read_only | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
  const auto listable = read_only | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
  const auto open = listable | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
  const struct {
    const char* name;
    QFile::Permissions file, folder;
    QString reason;
  } cases[] = {
      {"a read-only file", read_only, open, u"数据库文件 %1 不可写"_s},
      {"a read-only directory", read_write, listable, u"数据库 %1 所在的目录 %2 不可写"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempProgramDir dir;
    const QString folder = dir.File(u"data"_s);
    const QString path = dir.File(u"data/list.db"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    {
      ProxyList list;
      list.AppendRow(FullRow(1));
      SqliteListStore store(path);
      ASSERT_EQ(store.Open(), std::nullopt);
      ASSERT_EQ(store.Save(list), std::nullopt);
    }
    const QByteArray before = Sha256(path);
    ASSERT_TRUE(QFile::setPermissions(dir.Path(), listable | QFile::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(path, c.file));
    ASSERT_TRUE(QFile::setPermissions(folder, c.folder));
    std::optional<QString> refusal;
    {
      const test::AsNobody nobody;
      SqliteListStore store(path);
      refusal = store.Open();
    }
    QFile::setPermissions(folder, open);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_TRUE(refusal->startsWith(c.reason.arg(path, folder))) << refusal->toStdString();
    EXPECT_EQ(Sha256(path), before);
    EXPECT_FALSE(QFileInfo::exists(path + u"-wal"_s));
  }
}

TEST(SqliteListStore, SaysWhenItsFileCouldNoLongerBeWrittenWithoutWritingAnything) {
  test::TempProgramDir dir;
  const QString folder = dir.File(u"data"_s);
  const QString path = dir.File(u"data/list.db"_s);
  ASSERT_TRUE(QDir().mkpath(folder));
  SqliteListStore store(path);
  ASSERT_EQ(store.Open(), std::nullopt);
  const QByteArray before = Sha256(path);
  // Everyone may pass and write, so the look is the same as another user's.
  const auto listable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
  const auto writable = QFile::WriteOwner | QFile::WriteOther;
  ASSERT_TRUE(QFile::setPermissions(dir.Path(), listable | QFile::WriteOwner));
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther | writable));
  const auto look = [&](QFile::Permissions folder_permissions) {
    EXPECT_TRUE(QFile::setPermissions(folder, folder_permissions));
    const test::AsNobody nobody;
    return store.NotWritable();
  };
  EXPECT_EQ(look(listable | writable), std::nullopt);
  const std::optional<QString> problem = look(listable);
  ASSERT_TRUE(QFile::setPermissions(folder, listable | writable));
  ASSERT_TRUE(problem.has_value());
  EXPECT_TRUE(problem->contains(u"所在的目录"_s)) << problem->toStdString();
  EXPECT_EQ(Sha256(path), before);
}

TEST(SqliteListStore, AFifoOrADirectoryIsRefusedNotWaitedFor) {
  test::TempProgramDir dir;
  const test::Fifo fifo(dir.File(u"fifo.db"_s));
  ASSERT_TRUE(fifo.Made());
  ASSERT_TRUE(QDir().mkpath(dir.File(u"folder.db"_s)));
  SqliteListStore at_fifo(dir.File(u"fifo.db"_s));
  EXPECT_EQ(at_fifo.Open(), u"数据库 "_s + dir.File(u"fifo.db"_s) + u" 不是普通文件"_s);
  SqliteListStore at_folder(dir.File(u"folder.db"_s));
  const std::optional<QString> refusal = at_folder.Open();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_TRUE(refusal->startsWith(u"数据库文件 "_s)) << refusal->toStdString();
}

TEST(SqliteListStore, AnotherProgramsDatabaseIsRefusedAndLeftByteForByte) {
  const struct {
    const char* name;
    QStringList statements;
    QString others;
  } cases[] = {
      {"a table of its own",
       {u"CREATE TABLE accounts (name TEXT, balance INTEGER)"_s,
        u"INSERT INTO accounts VALUES ('a', 1)"_s},
       u"accounts"_s},
      {"ours among others",
       {u"CREATE TABLE proxy_rows (id INTEGER PRIMARY KEY)"_s, u"CREATE TABLE notes (t TEXT)"_s,
        u"CREATE VIEW recent AS SELECT t FROM notes"_s},
       u"notes, recent"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempProgramDir dir;
    const QString path = dir.File(u"other.db"_s);
    Sql(path, c.statements);
    const QByteArray before = Sha256(path);
    ASSERT_FALSE(before.isEmpty());
    {
      SqliteListStore store(path);
      EXPECT_EQ(store.Open(),
                path + u" 是其他程序的数据库 (其中有表 "_s + c.others + u"), 不予使用"_s);
    }
    EXPECT_EQ(Sha256(path), before);
    EXPECT_FALSE(QFileInfo::exists(path + u"-wal"_s));
  }
}

TEST(SqliteListStore, RowIdsOutsideTheRangeItWritesAreRefusedAtLoad) {
  const struct {
    QString id;
    bool refused;
  } cases[] = {
      {u"-1"_s, true},
      {u"0"_s, true},
      {u"9223372036854775807"_s, true},
      {QString::number(SqliteListStore::kMostRowId + 1), true},
      {QString::number(SqliteListStore::kMostRowId), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id.toStdString());
    test::TempProgramDir dir;
    const QString path = dir.File(u"list.db"_s);
    {
      ProxyList list;
      list.AppendRow(FullRow(1));
      SqliteListStore store(path);
      ASSERT_EQ(store.Open(), std::nullopt);
      ASSERT_EQ(store.Save(list), std::nullopt);
    }
    Sql(path, {u"UPDATE proxy_rows SET id = %1"_s.arg(c.id)});
    const QByteArray before = Sha256(path);
    SqliteListStore store(path);
    ASSERT_EQ(store.Open(), std::nullopt);
    ProxyList list;
    const std::optional<QString> refusal = store.Load(list);
    if (!c.refused) {
      // The next id comes after it and is written like any other.
      EXPECT_EQ(refusal, std::nullopt);
      list.AppendRow(FullRow(2));
      EXPECT_EQ(store.Save(list), std::nullopt);
      EXPECT_EQ(Reloaded(path).size(), 2);
      continue;
    }
    EXPECT_EQ(refusal, path + u" 中有 1 行的编号不在 1 到 %1 之间, 不予载入"_s.arg(
                                  SqliteListStore::kMostRowId));
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(Sha256(path), before);
  }
}

// A store whose saves fail while told to.
class FailingStore : public ListStore {
 public:
  std::optional<QString> Load(ProxyList&) override { return std::nullopt; }
  std::optional<QString> Save(ProxyList& list) override {
    ++saves;
    if (failing) return u"磁盘已满"_s;
    list.ClearChangedMarks();
    return std::nullopt;
  }
  bool failing = true;
  int saves = 0;
};

TEST(StoreKeeper, ReportsSavesThatKeepFailingOnceAndEveryFlush) {
  ProxyList list;
  FailingStore store;
  QStringList reports;
  StoreKeeper keeper(list, store, [&](const QString& failure) { reports << failure; });
  keeper.SetSaveMs(5);
  list.AppendRow(FullRow(1));
  // Tried again and again; told once.
  ASSERT_TRUE(test::WaitFor([&] { return store.saves >= 20; }, 5000));
  EXPECT_EQ(reports, QStringList({u"磁盘已满"_s}));
  EXPECT_FALSE(keeper.Flush());
  EXPECT_EQ(reports.size(), 2);
  // A success ends the run of failures; the next failure is told at once.
  store.failing = false;
  EXPECT_TRUE(keeper.Flush());
  store.failing = true;
  list.AppendRow(FullRow(2));
  ASSERT_TRUE(test::WaitFor([&] { return reports.size() == 3; }, 5000));
}

TEST(StoreKeeper, ItsProblemIsTheLastSaveThatFailedUntilOneSucceeds) {
  ProxyList list;
  FailingStore store;
  StoreKeeper keeper(list, store, [](const QString&) {});
  EXPECT_EQ(keeper.Problem(), std::nullopt);  // nothing saved yet, nothing failed
  list.AppendRow(FullRow(1));
  EXPECT_FALSE(keeper.Flush());
  EXPECT_EQ(keeper.Problem(), u"磁盘已满"_s);
  const int saves = store.saves;
  EXPECT_EQ(keeper.Problem(), u"磁盘已满"_s);
  EXPECT_EQ(store.saves, saves);  // asking writes nothing
  store.failing = false;
  EXPECT_TRUE(keeper.Flush());
  EXPECT_EQ(keeper.Problem(), std::nullopt);
}

}  // namespace
}  // namespace ph
