// Several real servers on one PostgreSQL database (a throw-away cluster on loopback): the
// pool they share, the runs they divide, a server killed and the database stopped under them.
#include "console/headless_server.h"
#include "store/pg_schema.h"
#include "support/http_fixtures.h"
#include "support/pg_cluster.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QUuid>

#include <csignal>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QString kRunDone = u"所有验证线程命令已执行完毕"_s;

QByteArray ImportText(const std::vector<std::string>& addresses) {
  QByteArray text;
  for (const std::string& address : addresses)
    text += QByteArray::fromStdString(address) + "|||||||||\r\n";
  return text;
}

std::vector<std::string> Addresses(int first, int last) {
  std::vector<std::string> addresses;
  for (int i = first; i <= last; ++i)
    addresses.push_back("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ":80");
  return addresses;
}

// The servers are started as child programs: this suite always starts its own cluster.
class SharedPoolTest : public test::PgClusterTest</*kOwnOnly=*/true> {
 protected:
  struct Instance {
    test::TempProgramDir dir;
    quint16 port = test::ClosedPort();
    Server server;
  };
  // Starts a server on the shared database with these settings (and the usual ones).
  void Start(Instance& instance, std::map<QString, QString> values, const QStringList& more = {}) {
    WriteServerFiles(instance.dir, instance.port, pages_.Port(), std::move(values));
    instance.server.Start(
        instance.dir.Path(),
        QStringList{u"--config"_s, instance.dir.File(u"proxyharvest.ini"_s), u"--db"_s, url_} +
            more);
  }
  QStringList Sql(const QStringList& statements) const {
    return test::PgCluster::Sql(url_, statements);
  }
  bool WaitForSql(const QString& statement, const QString& wanted, int ms = 30000) const {
    return test::WaitFor([&] { return One(statement) == wanted; }, ms);
  }

  test::PageServer pages_;
};

TEST_F(SharedPoolTest, TwoServersImportingAndHarvestingOverlappingListsKeepOneRowPerAddress) {
  std::string page;
  for (int i = 0; i < 20; ++i) {
    page += "<tr class=\"odd\"><td class=\"country\"></td><td>172.16.0." + std::to_string(i + 1) +
            "</td><td>8080</td><td><a href=\"/x\">北京</a></td></tr>\n";
  }
  pages_.Set("/nn/1", {200, "<table>" + page + "</table>", "text/html; charset=utf-8", 0});
  Instance a;
  Instance b;
  a.dir.Write(u"import.txt"_s, ImportText(Addresses(0, 599)));
  b.dir.Write(u"import.txt"_s, ImportText(Addresses(300, 899)));
  // Both at once: the same harvested page, and 300 imported addresses in common.
  for (Instance* instance : {&a, &b})
    Start(*instance, {}, {u"--import"_s, instance->dir.File(u"import.txt"_s), u"--harvest-now"_s});
  for (Instance* instance : {&a, &b})
    ASSERT_TRUE(instance->server.Logged(u"采集完成"_s)) << instance->server.log.toStdString();
  ASSERT_TRUE(WaitForSql(u"SELECT count(*), count(DISTINCT address) FROM proxyharvest_rows"_s,
                         u"920|920"_s))
      << One(u"SELECT count(*) FROM proxyharvest_rows"_s).toStdString();
  // Each serves the whole pool, and nothing twice.
  for (Instance* instance : {&a, &b}) {
    EXPECT_TRUE(test::WaitFor([&] {
      return Curl(instance->port, u"UseKey&getcount&"_s) == "1|920";
    })) << Curl(instance->port, u"UseKey&getcount&"_s).toStdString();
  }
  EXPECT_EQ(One(u"SELECT c2 FROM proxyharvest_rows WHERE address = '172.16.0.7:8080'"_s),
            u"北京"_s);
  for (Instance* instance : {&a, &b}) {
    EXPECT_GE(instance->server.Stop(), 0);
    EXPECT_EQ(instance->server.process.exitCode(), 0) << instance->server.log.toStdString();
  }
}

// A farm of proxies that pass, and the import file of their addresses.
struct Farm {
  Farm(int count, int delay_ms) {
    addresses = farm.Add({"ok [127.0.0.1]", delay_ms, false}, count);
    farm.Start();
  }
  // Proxies that took no connection, and those that took more than one.
  std::pair<int, int> Unprobed() const {
    std::pair<int, int> found{0, 0};
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      if (farm.Accepted(i) == 0) ++found.first;
      if (farm.Accepted(i) > 1) ++found.second;
    }
    return found;
  }
  test::ProxyFarm farm;
  std::vector<std::string> addresses;
};

TEST_F(SharedPoolTest, ARunOfThreeThousandIsSharedAndEachEntryIsProbedOnce) {
  Farm farm(3000, 100);
  Instance a;
  Instance b;
  b.dir.Write(u"import.txt"_s, ImportText(farm.addresses));
  Start(b, {{u"Text3"_s, u"50"_s}}, {u"--import"_s, b.dir.File(u"import.txt"_s)});
  ASSERT_TRUE(b.server.Logged(u"控制接口已启动"_s)) << b.server.log.toStdString();
  Start(a, {{u"Text3"_s, u"50"_s}}, {u"--validate-now"_s});
  for (Instance* instance : {&a, &b})
    ASSERT_TRUE(instance->server.Logged(kRunDone, 60000)) << instance->server.log.toStdString();
  EXPECT_EQ(farm.Unprobed(), std::make_pair(0, 0));
  // Every row validated once, by one server or the other, and each took a share.
  EXPECT_EQ(One(u"SELECT count(*) FROM proxyharvest_rows WHERE c10 = '1' AND c4 = '成 功'"_s),
            u"3000"_s);
  const QStringList shares =
      Sql({u"SELECT validated_by, count(*) FROM proxyharvest_rows GROUP BY 1"_s});
  ASSERT_EQ(shares.size(), 2) << shares.join(u' ').toStdString();
  for (const QString& share : shares) EXPECT_GT(share.section(u'|', 1).toInt(), 100);
  EXPECT_EQ(One(u"SELECT count(*) FROM proxyharvest_rows WHERE due_run IS NOT NULL OR "
                u"lease_owner IS NOT NULL"_s),
            u"0"_s);
  for (Instance* instance : {&a, &b}) {
    EXPECT_EQ(Curl(instance->port, u"UseKey&getcount&"_s), "1|3000");
    EXPECT_GE(instance->server.Stop(), 0);
  }
}

TEST_F(SharedPoolTest, AServerKilledInARunLeavesItsRowsToTheOtherOnceItsLeasesExpire) {
  Farm farm(400, 300);
  Instance a;
  Instance b;
  const std::map<QString, QString> settings{{u"LeaseSec"_s, u"2"_s}, {u"Text3"_s, u"20"_s}};
  b.dir.Write(u"import.txt"_s, ImportText(farm.addresses));
  Start(b, settings, {u"--import"_s, b.dir.File(u"import.txt"_s)});
  ASSERT_TRUE(b.server.Logged(u"控制接口已启动"_s)) << b.server.log.toStdString();
  Start(a, settings, {u"--validate-now"_s});
  // Both are at it, and a holds rows of its own.
  ASSERT_TRUE(test::WaitFor(
      [&] {
        return One(u"SELECT count(DISTINCT validated_by) FROM proxyharvest_rows WHERE "
                   u"validated_by <> ''"_s) == u"2"_s &&
               One(u"SELECT count(DISTINCT lease_owner) FROM proxyharvest_rows"_s) == u"2"_s;
      },
      30000));
  ::kill(static_cast<pid_t>(a.server.process.processId()), SIGKILL);
  ASSERT_TRUE(b.server.Logged(kRunDone, 60000)) << b.server.log.toStdString();
  EXPECT_EQ(One(u"SELECT count(*) FROM proxyharvest_rows WHERE c10 = '' OR due_run IS NOT NULL"_s),
            u"0"_s)
      << Sql({u"SELECT id, c4, c10, due_run, lease_owner, lease_until, validated_by, version FROM "
              u"proxyharvest_rows WHERE c10 = '' OR due_run IS NOT NULL"_s,
              u"SELECT * FROM proxyharvest_runs"_s})
             .join(u'\n')
             .toStdString()
      << b.server.log.toStdString();
  EXPECT_EQ(farm.Unprobed().first, 0);
  EXPECT_EQ(Curl(b.port, u"UseKey&getcount&"_s), "1|400");
  EXPECT_GE(b.server.Stop(), 0);
  EXPECT_EQ(b.server.process.exitCode(), 0) << b.server.log.toStdString();
}

TEST_F(SharedPoolTest, TheDatabaseStoppedForTenSecondsInARunCostsNoResult) {
  // Ten probes at once on each, of 300 ms: the run is still going when the database has
  // stopped, however long stopping takes, since no claim is made while it is away.
  Farm farm(600, 300);
  Instance a;
  Instance b;
  const std::map<QString, QString> settings{{u"Text3"_s, u"10"_s}};
  b.dir.Write(u"import.txt"_s, ImportText(farm.addresses));
  Start(b, settings, {u"--import"_s, b.dir.File(u"import.txt"_s)});
  ASSERT_TRUE(b.server.Logged(u"控制接口已启动"_s)) << b.server.log.toStdString();
  Start(a, settings, {u"--validate-now"_s});
  // Both are up and a hundred results are in (an import counts 0 validations, not nothing).
  ASSERT_TRUE(a.server.Logged(u"控制接口已启动"_s)) << a.server.log.toStdString();
  ASSERT_TRUE(test::WaitFor(
      [&] {
        return One(u"SELECT count(*) >= 100 FROM proxyharvest_rows WHERE c4 <> ''"_s) == u"true"_s;
      },
      30000));
  ASSERT_TRUE(cluster_->Stop());
  // Both go on serving from memory.
  for (Instance* instance : {&a, &b}) {
    ASSERT_TRUE(instance->server.Logged(u"连接中断"_s)) << instance->server.log.toStdString();
    EXPECT_EQ(Curl(instance->port, u"UseKey&getcount&"_s), "1|600");
  }
  test::WaitFor([] { return false; }, 10000);
  ASSERT_TRUE(cluster_->Start());
  for (Instance* instance : {&a, &b}) {
    ASSERT_TRUE(instance->server.Logged(u"已重新连接"_s)) << instance->server.log.toStdString();
    ASSERT_TRUE(instance->server.Logged(kRunDone, 60000)) << instance->server.log.toStdString();
    EXPECT_EQ(instance->server.process.state(), QProcess::Running);
  }
  // Every result is in the database, each row's once.
  EXPECT_TRUE(WaitForSql(
      u"SELECT count(*) FROM proxyharvest_rows WHERE c10 = '1' AND c4 = '成 功'"_s, u"600"_s))
      << Sql({u"SELECT c10, count(*) FROM proxyharvest_rows GROUP BY 1"_s})
             .join(u' ')
             .toStdString();
  EXPECT_EQ(farm.Unprobed(), std::make_pair(0, 0));
  for (Instance* instance : {&a, &b}) {
    EXPECT_GE(instance->server.Stop(), 0);
    EXPECT_EQ(instance->server.process.exitCode(), 0) << instance->server.log.toStdString();
  }
}

TEST_F(SharedPoolTest, AServerStartedWhileItsDatabaseIsDownWaitsForIt) {
  ASSERT_TRUE(cluster_->Stop());
  Instance a;
  Start(a, {});
  test::WaitFor([] { return false; }, 1500);
  ASSERT_TRUE(cluster_->Start());
  ASSERT_TRUE(a.server.Logged(u"控制接口已启动"_s)) << a.server.log.toStdString();
  EXPECT_TRUE(a.server.log.contains(u"起初不可用"_s)) << a.server.log.toStdString();
  EXPECT_GE(a.server.Stop(), 0);
  EXPECT_EQ(a.server.process.exitCode(), 0) << a.server.log.toStdString();
}

TEST_F(SharedPoolTest, AnOlderSchemaIsBroughtUpToDateAndANewerOneRefused) {
  const QString connection = QUuid::createUuid().toString();
  {
    QSqlDatabase db = test::PgCluster::Connection(url_, connection);
    ASSERT_TRUE(db.open());
    ASSERT_EQ(MigrateSchema(db, 1), std::nullopt);
  }
  QSqlDatabase::removeDatabase(connection);
  Sql(
      {u"INSERT INTO proxyharvest_rows (address, c2, version) VALUES ('10.9.9.9:80', '北京', "
       u"nextval('proxyharvest_version'))"_s});
  Instance a;
  Start(a, {});
  ASSERT_TRUE(a.server.Logged(u"控制接口已启动"_s)) << a.server.log.toStdString();
  EXPECT_TRUE(a.server.log.contains(u"共 1 行"_s)) << a.server.log.toStdString();
  EXPECT_EQ(One(u"SELECT value FROM proxyharvest_meta WHERE key = 'schema_version'"_s),
            QString::number(kSchemaVersion));
  EXPECT_EQ(One(u"SELECT address, c2, validated_by, due_run IS NULL FROM proxyharvest_rows"_s),
            u"10.9.9.9:80|北京||true"_s);
  EXPECT_GE(a.server.Stop(), 0);

  Sql({u"UPDATE proxyharvest_meta SET value = '%1' WHERE key = 'schema_version'"_s.arg(
      kSchemaVersion + 1)});
  Instance older;
  Start(older, {});
  EXPECT_TRUE(older.server.Refusal().contains(NewerSchemaText(kSchemaVersion + 1)));
}

}  // namespace
}  // namespace ph
