// The real program started as a server would start it: no display, a settings file and a
// database in a temporary directory, list pages and fake proxies on loopback.
#include "console/headless_server.h"
#include "support/http_fixtures.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"
#include "support/stored_rows.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

using test::DatabaseRows;

class HeadlessTest : public ::testing::Test {
 protected:
  // A settings file for this test's ports, with the values given in place of the usual ones.
  void WriteConfig(std::map<QString, QString> values = {}) {
    WriteServerFiles(dir, port, pages.Port(), std::move(values));
  }
  QStringList Arguments(const QStringList& more = {}) {
    return QStringList{u"--config"_s, dir.File(u"proxyharvest.ini"_s), u"--db"_s, Db()} + more;
  }
  QString Db() const { return dir.File(u"proxyharvest.db"_s); }

  test::TempProgramDir dir;
  test::PageServer pages;
  quint16 port = test::ClosedPort();
};

TEST_F(HeadlessTest, HarvestsValidatesServesAndKeepsItsListAcrossRestarts) {
  test::ProxyFarm farm;
  const auto working = farm.Add({"ok [127.0.0.1]", 0, false}, 3);
  const auto failing = farm.Add({"no bracket", 0, false}, 2);
  farm.Start();
  std::string rows;
  for (const auto& address : {working[0], working[1], working[2], failing[0], failing[1]}) {
    const std::string ip = address.substr(0, address.find(':'));
    const std::string port_text = address.substr(address.find(':') + 1);
    rows += "<tr class=\"odd\"><td class=\"country\"></td><td>" + ip + "</td><td>" + port_text +
            "</td><td><a href=\"/x\">北京</a></td></tr>\n";
  }
  pages.Set("/nn/1", {200, "<table>" + rows + "</table>", "text/html; charset=utf-8", 0});
  WriteConfig();
  {
    Server server;
    server.Start(dir.Path(), Arguments({u"--harvest-now"_s, u"--validate-now"_s}));
    ASSERT_TRUE(server.Logged(u"所有验证线程命令已执行完毕"_s)) << server.log.toStdString();
    EXPECT_EQ(Curl(port, u"UseKey&getcount&"_s), "1|5");
    const QByteArray good = Curl(port, u"UseKey&getip&0&0&100&0"_s);
    for (const auto& address : working)
      EXPECT_TRUE(good.contains(address.c_str())) << good.toStdString();
    EXPECT_EQ(good.count("<br/>"), 3);
    const long long ms = server.Stop();
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(server.process.exitCode(), 0) << server.log.toStdString();
  }
  const QStringList saved = DatabaseRows(Db());
  ASSERT_EQ(saved.size(), 5);
  for (const QString& row : saved) {
    const QStringList cells = row.split(u'|');
    EXPECT_EQ(cells[2], u"北京"_s);
    EXPECT_EQ(cells[10], u"1"_s);  // validated once, every cell kept
    EXPECT_FALSE(cells[13].isEmpty());
  }
  {
    Server again;
    again.Start(dir.Path(), Arguments());
    ASSERT_TRUE(again.Logged(u"控制接口已启动"_s)) << again.log.toStdString();
    EXPECT_EQ(Curl(port, u"UseKey&getcount&"_s), "1|5");
    EXPECT_EQ(Curl(port, u"UseKey&getip&0&0&100&0"_s).count("<br/>"), 3);
    EXPECT_EQ(again.Stop(SIGINT) >= 0, true);
    EXPECT_EQ(again.process.exitCode(), 0);
  }
}

TEST_F(HeadlessTest, ABadSettingOrAGarbageDatabaseStopsTheStartWithStatusTwo) {
  const auto expect_refusal = [&](const QStringList& arguments, const QString& reason) {
    Server server;
    server.Start(dir.Path(), arguments);
    const QString output = server.Refusal();
    EXPECT_TRUE(output.contains(reason)) << output.toStdString();
  };
  WriteConfig({{u"Text3"_s, u"0"_s}});
  expect_refusal(Arguments(), u"第 7 行: Text3: 应在 1 到 100 之间"_s);
  // A settings file is read up to its first mebibyte; a FIFO or a device is not read at all.
  dir.Write(u"huge.ini"_s, QByteArray(2 * 1024 * 1024, '#'));
  expect_refusal({u"--config"_s, dir.File(u"huge.ini"_s), u"--db"_s, Db()}, u"太大"_s);
  const test::Fifo fifo(dir.File(u"fifo.ini"_s));
  ASSERT_TRUE(fifo.Made());
  for (const QString& device : {u"/dev/zero"_s, dir.File(u"fifo.ini"_s)})
    expect_refusal({u"--config"_s, device, u"--db"_s, Db()}, u"不是普通文件"_s);

  WriteConfig();
  const QByteArray garbage(8192, '\x7f');
  dir.Write(u"proxyharvest.db"_s, garbage);
  expect_refusal(Arguments(), u"数据库无法使用"_s);
  EXPECT_EQ(dir.Read(u"proxyharvest.db"_s), garbage);
}

// Rows of a "Zxproxyinfo.txt" for --import.
QByteArray ImportFile(const std::vector<std::string>& addresses, int rows) {
  QByteArray text;
  for (int i = 0; i < rows; ++i)
    text += QByteArray::fromStdString(addresses[static_cast<std::size_t>(i) % addresses.size()]) +
            "|||||||||\r\n";
  return text;
}

TEST_F(HeadlessTest, ASecondServerOnTheSameDatabaseRefusesToStart) {
  WriteConfig();
  dir.Write(u"import.txt"_s, ImportFile({"10.0.0.1:80", "10.0.0.2:80"}, 2));
  Server first;
  first.Start(dir.Path(), Arguments({u"--import"_s, dir.File(u"import.txt"_s)}));
  ASSERT_TRUE(first.Logged(u"控制接口已启动"_s)) << first.log.toStdString();
  Server second;
  second.Start(dir.Path(), {u"--db"_s, Db(), u"--no-api"_s});
  EXPECT_TRUE(second.Refusal().contains(u"数据库 "_s + Db() + u" 正由另一个进程使用"_s));
  // The first goes on and keeps its rows.
  EXPECT_EQ(Curl(port, u"UseKey&getcount&"_s), "1|2");
  EXPECT_GE(first.Stop(), 0);
  EXPECT_EQ(first.process.exitCode(), 0) << first.log.toStdString();
  EXPECT_EQ(DatabaseRows(Db()).size(), 2);
}

TEST_F(HeadlessTest, ADatabaseItCannotUseSafelyIsRefusedAndLeftByteForByte) {
  WriteConfig();
  const auto sql = [](const QString& path, const QStringList& statements) {
    const QString connection = QUuid::createUuid().toString();
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
      db.setDatabaseName(path);
      ASSERT_TRUE(db.open());
      QSqlQuery query(db);
      for (const QString& statement : statements) ASSERT_TRUE(query.exec(statement));
    }
    QSqlDatabase::removeDatabase(connection);
  };
  // A database of this program's with one row, written by the program itself.
  const auto ours = [&](const QString& path) {
    dir.Write(u"import.txt"_s, ImportFile({"10.0.0.1:80"}, 1));
    Server server;
    server.Start(dir.Path(),
                 {u"--db"_s, path, u"--no-api"_s, u"--import"_s, dir.File(u"import.txt"_s)});
    // Logged once the server runs, its stop signals caught and its rows saved.
    ASSERT_TRUE(server.Logged(u"总数 1 成功 0"_s)) << server.log.toStdString();
    EXPECT_GE(server.Stop(), 0);
  };
  const struct {
    const char* name;
    std::function<void(const QString& path)> make;
    QString reason;
  } cases[] = {
      {"another program's",
       [&](const QString& path) {
         sql(path, {u"CREATE TABLE accounts (name TEXT, balance INTEGER)"_s,
                    u"INSERT INTO accounts VALUES ('a', 1)"_s});
       },
       u" 是其他程序的数据库 (其中有表 accounts), 不予使用"_s},
      {"a row id of -1",
       [&](const QString& path) {
         ours(path);
         sql(path, {u"UPDATE proxy_rows SET id = -1"_s});
       },
       u" 中有 1 行的编号不在 1 到 "_s},
      {"a row id of the largest integer",
       [&](const QString& path) {
         ours(path);
         sql(path, {u"UPDATE proxy_rows SET id = 9223372036854775807"_s});
       },
       u" 中有 1 行的编号不在 1 到 "_s},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.File(u"case%1.db"_s.arg(++n));
    c.make(path);
    const auto checksum = [&] {
      QFile file(path);
      return file.open(QIODevice::ReadOnly)
                 ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                 : QByteArray();
    };
    const QByteArray before = checksum();
    ASSERT_FALSE(before.isEmpty());
    Server server;
    server.Start(dir.Path(), {u"--db"_s, path, u"--no-api"_s});
    const QString output = server.Refusal();
    EXPECT_TRUE(output.contains(path + c.reason)) << output.toStdString();
    EXPECT_EQ(checksum(), before);
  }
}

TEST_F(HeadlessTest, AListThatCannotBeSavedAtTheEndMakesTheExitStatusAFailure) {
  // A file system of 256 KiB, in a mount namespace of the server's own: the database
  // starts there, the imported rows do not fit.
  WriteConfig();
  std::vector<std::string> addresses;
  for (int i = 0; i < 20000; ++i)
    addresses.push_back("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) +
                        ":8080");
  dir.Write(u"import.txt"_s, ImportFile(addresses, 20000));
  const QString small = dir.File(u"small"_s);
  ASSERT_TRUE(QDir().mkpath(small));
  const QString mount = u"mount -t tmpfs -o size=256k tmpfs \"$1\" && shift && exec \"$@\""_s;
  Server server;
  server.Start(dir.Path(),
               {u"--config"_s, dir.File(u"proxyharvest.ini"_s), u"--db"_s,
                small + u"/proxyharvest.db"_s, u"--import"_s, dir.File(u"import.txt"_s)},
               {u"unshare"_s, ::geteuid() == 0 ? u"-m"_s : u"-rm"_s, u"sh"_s, u"-c"_s, mount,
                u"sh"_s, small});
  ASSERT_TRUE(server.Logged(u"保存列表失败: "_s)) << server.log.toStdString();
  EXPECT_GE(server.Stop(), 0);
  EXPECT_EQ(server.process.exitCode(), 1) << server.log.toStdString();
  EXPECT_FALSE(server.log.contains(u"列表已保存"_s));
}

TEST_F(HeadlessTest, AKilledServerStartsAgainWithWhatItHadWritten) {
  test::SilentServer silent;
  WriteConfig({{u"Text2"_s, u"5000"_s}});
  dir.Write(u"import.txt"_s, ImportFile({silent.Address()}, 2000));
  qint64 written = 0;
  {
    Server server;
    server.Start(dir.Path(),
                 Arguments({u"--import"_s, dir.File(u"import.txt"_s), u"--validate-now"_s}));
    ASSERT_TRUE(server.Logged(u"开始验证..."_s)) << server.log.toStdString();
    // The first write comes within five seconds of the change.
    ASSERT_TRUE(test::WaitFor([&] { return DatabaseRows(Db()).size() == 2000; }, 10000));
    written = 2000;
    EXPECT_GE(server.Stop(SIGKILL), 0);
  }
  Server again;
  again.Start(dir.Path(), Arguments());
  ASSERT_TRUE(again.Logged(u"控制接口已启动"_s)) << again.log.toStdString();
  EXPECT_EQ(Curl(port, u"UseKey&getcount&"_s), "1|" + QByteArray::number(written));
  again.Stop();
}

TEST_F(HeadlessTest, StopsWithinThreeSecondsDuringARunAgainstSilentProxies) {
  test::SilentServer silent;
  WriteConfig({{u"Text2"_s, u"5000"_s}, {u"Text3"_s, u"100"_s}});
  dir.Write(u"import.txt"_s, ImportFile({silent.Address()}, 10000));
  Server server;
  server.Start(dir.Path(),
               Arguments({u"--import"_s, dir.File(u"import.txt"_s), u"--validate-now"_s}));
  ASSERT_TRUE(server.Logged(u"开始验证..."_s)) << server.log.toStdString();
  test::WaitFor([] { return false; }, 500);
  const long long ms = server.Stop();
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 3000);
  EXPECT_EQ(server.process.exitCode(), 0) << server.log.toStdString();
  EXPECT_EQ(DatabaseRows(Db()).size(), 10000);
}

TEST_F(HeadlessTest, AServerAllowedFewDescriptorsProbesFewerAtOnceAndFailsNoEntryForIt) {
  test::ProxyFarm farm;
  const auto working = farm.Add({"ok [127.0.0.1]", 300, false}, 50);
  farm.Start();
  WriteConfig({{u"Check11"_s, u"1"_s}, {u"Text20"_s, u"2000"_s}, {u"Text2"_s, u"5000"_s}});
  dir.Write(u"import.txt"_s, ImportFile(working, 2000));
  Server server;
  server.process.setProgram(u"prlimit"_s);
  server.process.setArguments({u"--nofile=256:256"_s, QStringLiteral(PH_PROGRAM), u"--headless"_s});
  server.process.setArguments(
      server.process.arguments() +
      Arguments({u"--import"_s, dir.File(u"import.txt"_s), u"--validate-now"_s, u"--no-api"_s}));
  server.process.setWorkingDirectory(dir.Path());
  server.process.start();
  ASSERT_TRUE(server.process.waitForStarted(5000));
  ASSERT_TRUE(server.Logged(u"所有验证线程命令已执行完毕"_s, 60000)) << server.log.toStdString();
  EXPECT_TRUE(server.log.contains(u"并发数由 2000 降为 160 (文件描述符上限 256)"_s))
      << server.log.toStdString();
  EXPECT_GE(server.Stop(), 0);
  EXPECT_EQ(server.process.exitCode(), 0) << server.log.toStdString();
  const QStringList saved = DatabaseRows(Db());
  ASSERT_EQ(saved.size(), 2000);
  for (const QString& row : saved) EXPECT_EQ(row.split(u'|')[4], u"成 功"_s) << row.toStdString();
}

TEST_F(HeadlessTest, TheRotatingPortServesWhatTheRunFoundWorking) {
  test::PageServer origin;
  origin.Set("/page", {200, "via the rotating port", "text/plain", 0});
  test::FakeProxy working;
  test::SilentServer dead;
  // The custom target is the origin itself, which the fake proxy forwards to.
  WriteConfig({{u"GtnHttp"_s, u"7"_s},
               {u"Text16"_s, QString::fromStdString(origin.Url("/page"))},
               {u"Text17"_s, u"rotating"_s},
               {u"Text2"_s, u"500"_s}});
  dir.Write(u"import.txt"_s, ImportFile({working.Address(), dead.Address()}, 2));
  const quint16 rotate = test::ClosedPort();
  Server server;
  server.Start(dir.Path(), Arguments({u"--import"_s, dir.File(u"import.txt"_s), u"--validate-now"_s,
                                      u"--rotate"_s, QString::number(rotate)}));
  ASSERT_TRUE(server.Logged(u"轮换代理已启动: 127.0.0.1:%1"_s.arg(rotate)))
      << server.log.toStdString();
  ASSERT_TRUE(server.Logged(u"所有验证线程命令已执行完毕"_s)) << server.log.toStdString();
  QByteArray got;
  // The pool follows the results within half a second.
  ASSERT_TRUE(test::WaitFor(
      [&] {
        QProcess curl;
        curl.start(u"curl"_s,
                   {u"-s"_s, u"-m"_s, u"5"_s, u"-x"_s, u"http://127.0.0.1:%1"_s.arg(rotate),
                    QString::fromStdString(origin.Url("/page"))});
        test::WaitFor([&] { return curl.state() == QProcess::NotRunning; }, 8000);
        got = curl.readAllStandardOutput();
        return got == "via the rotating port";
      },
      10000))
      << got.toStdString();
  EXPECT_GE(server.Stop(), 0);
  EXPECT_EQ(server.process.exitCode(), 0);
}

TEST_F(HeadlessTest, PrintsItsDefaultsWithHighSpeedValidationOn) {
  Server server;
  server.Start(dir.Path(), {u"--print-config"_s});
  ASSERT_TRUE(test::WaitFor([&] { return server.process.state() == QProcess::NotRunning; }, 5000));
  const QString text = QString::fromUtf8(server.process.readAll());
  EXPECT_TRUE(text.contains(u"\r\nCheck11=1\r\n"_s)) << text.toStdString();
  EXPECT_TRUE(text.contains(u"\r\nText20=2000\r\n"_s)) << text.toStdString();
}

}  // namespace
}  // namespace ph
