// The window's list kept in a database: the real program started twice on one file with the
// offscreen platform, re-validating its list by itself as its settings file says; SIGTERM ends
// it as closing the window does.
#include "support/program_run.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"
#include "support/stored_rows.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <csignal>
#include <set>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString Program() { return QStringLiteral(PH_PROGRAM); }

class WindowListTest : public ::testing::Test {
 protected:
  WindowListTest() {
    environment = test::NoDisplay(dir.Path());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    // Every farm proxy answers this page; the whole list is validated again every second.
    dir.Write(u"window.ini"_s,
              "Check4=1\nText13=1\nText2=3000\nGtnHttp=7\nText16=http://ip138.test/ic.asp\n"
              "Text17=[\n");
  }
  QStringList Window(const QStringList& more) const {
    return QStringList{u"--config"_s, dir.File(u"window.ini"_s)} + more;
  }
  // Every file below the test's directory (its home and data directory included).
  QStringList Files() const {
    QStringList files;
    QDirIterator found(dir.Path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (found.hasNext()) files << found.next().mid(dir.Path().size() + 1);
    files.sort();
    return files;
  }

  test::TempProgramDir dir;
  QProcessEnvironment environment;
};

// The rows' cells once every row has been tested at least `tests` times, or nothing.
QStringList WhenTested(const QString& db, int tests) {
  QStringList rows;
  test::WaitFor(
      [&] {
        rows = test::DatabaseRows(db);
        if (rows.isEmpty()) return false;
        for (const QString& row : rows)
          if (row.split(u'|')[10].toInt() < tests) return false;
        return true;
      },
      20000);
  return rows;
}

TEST_F(WindowListTest, ItsListWithItsStatisticsSurvivesARestart) {
  test::ProxyFarm farm;
  std::set<QString> working;
  QString list;
  for (const std::string& address : farm.Add({"ok [127.0.0.1]", 0, false, false}, 2)) {
    working.insert(QString::fromStdString(address));
    list += QString::fromStdString(address) + u'\n';
  }
  for (const std::string& address : farm.Add({"no bracket", 0, false, false}, 2))
    list += QString::fromStdString(address) + u'\n';
  farm.Start();
  dir.Write(u"list.txt"_s, list.toUtf8());
  const QString db = dir.File(u"list.db"_s);
  // The list starts as check leaves it: four rows tested once.
  ASSERT_EQ(test::RunProgram(Program(),
                             {u"check"_s, dir.File(u"list.txt"_s), u"--db"_s, db, u"--test-url"_s,
                              u"http://ip138.test/ic.asp"_s, u"--match"_s, u"["_s, u"--quiet"_s},
                             environment, {}, dir.Path())
                .exit_code,
            0);
  const QStringList checked = test::DatabaseRows(db);
  ASSERT_EQ(checked.size(), 4);

  int tests = 1;
  for (int start = 1; start <= 2; ++start) {
    test::RunningProgram window(Program(), Window({u"--db"_s, db}), environment, dir.Path());
    // Tested once more than it was when this start loaded it: the counts went on from there.
    ASSERT_EQ(WhenTested(db, tests + 1).size(), 4) << window.Err().toStdString();
    const test::ProgramRun run = window.Stop(SIGTERM);
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
    const QStringList rows = test::DatabaseRows(db);
    tests = rows[0].split(u'|')[10].toInt();
    for (int row = 0; row < 4; ++row) {
      const QStringList cells = rows[row].split(u'|');
      const QStringList before = checked[row].split(u'|');
      EXPECT_EQ(cells[1], before[1]);
      EXPECT_GE(cells[10].toInt(), start + 1);
      const bool works = working.contains(cells[1]);
      // A stop may land inside a run, which clears the result of the rows it has not reached.
      if (!cells[4].isEmpty()) {
        EXPECT_EQ(cells[4], works ? u"成 功"_s : u"失 败"_s);
      }
      EXPECT_EQ(cells[11], works ? cells[10] : QString());
      EXPECT_EQ(cells[12], works ? u"100%"_s : u"0%"_s);
      EXPECT_EQ(cells[13], before[13]);  // first tested when check tested it
    }
  }
}

TEST_F(WindowListTest, WithoutADatabaseNothingIsStored) {
  const QStringList before = Files();
  test::RunningProgram window(Program(), Window({}), environment, dir.Path());
  test::WaitFor([] { return false; }, 2500);
  const test::ProgramRun run = window.Stop(SIGTERM);
  EXPECT_FALSE(run.crashed);
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(Files(), before);
}

// A database of another program: tables of its own, in the journal mode it chose.
QByteArray ForeignDatabase(const QString& path) {
  const QString connection = QUuid::createUuid().toString();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
    db.setDatabaseName(path);
    db.open();
    QSqlQuery query(db);
    query.exec(u"CREATE TABLE notes (id INTEGER PRIMARY KEY, text TEXT)"_s);
    query.exec(u"INSERT INTO notes (text) VALUES ('mine')"_s);
  }
  QSqlDatabase::removeDatabase(connection);
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  return file.readAll();
}

TEST_F(WindowListTest, ADatabaseNotOursIsLeftByteForByteAndTheWindowSaysSo) {
  const QByteArray garbage(8192, '\x7f');
  dir.Write(u"garbage.db"_s, garbage);
  const std::pair<QString, QByteArray> files[] = {
      {dir.File(u"garbage.db"_s), garbage},
      {dir.File(u"foreign.db"_s), ForeignDatabase(dir.File(u"foreign.db"_s))}};
  for (const auto& [path, bytes] : files) {
    const QStringList before = Files();
    test::RunningProgram window(Program(), Window({u"--db"_s, path}), environment, dir.Path());
    ASSERT_TRUE(test::WaitFor([&] { return window.Err().contains("数据库无法使用"); }, 10000))
        << window.Err().toStdString();
    EXPECT_TRUE(QString::fromUtf8(window.Err()).contains(u"列表不会保存"_s));
    test::WaitFor([] { return false; }, 1500);
    const test::ProgramRun run = window.Stop(SIGTERM);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes) << path.toStdString();
    EXPECT_EQ(Files(), before) << path.toStdString();
  }
}

}  // namespace
}  // namespace ph
