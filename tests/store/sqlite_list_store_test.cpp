#include "store/sqlite_list_store.h"

#include "core/proxy_list.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QFileInfo>

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

// The list as the file holds it now, read by a store of its own.
QStringList Reloaded(const QString& path) {
  SqliteListStore store(path);
  EXPECT_EQ(store.Open(), std::nullopt);
  ProxyList list;
  EXPECT_EQ(store.Load(list), std::nullopt);
  return Rows(list);
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

}  // namespace
}  // namespace ph
