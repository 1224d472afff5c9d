// A shared pool in this process against a real PostgreSQL cluster on loopback: its connection
// thread, the statements it runs there and the one hand-off of what they found back to the
// list's thread. Under ThreadSanitizer the cluster is started outside the process.
#include "store/shared_pool.h"
#include "store/pg_schema.h"
#include "store/pool_connection.h"
#include "store/pool_sql.h"
#include "support/loopback_server.h"
#include "support/pg_cluster.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QUuid>

#include <functional>
#include <memory>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class SharedPoolInProcessTest : public test::PgClusterTest</*kOwnOnly=*/false> {
 protected:
  void SetUp() override {
    PgClusterTest::SetUp();
    if (IsSkipped() || HasFailure()) return;
    ASSERT_EQ(ReadPgUrl(url_, target_), std::nullopt);
  }

  // A pool opened on the test's database, holding its rows in list.
  std::unique_ptr<SharedPool> Opened(ProxyList& list) {
    auto pool = std::make_unique<SharedPool>(target_,
                                             [this](const QString& line) { log_ += line + u'\n'; });
    EXPECT_EQ(pool->Open(), std::nullopt);
    EXPECT_EQ(pool->Load(list), std::nullopt);
    return pool;
  }
  static int RowWith(const ProxyList& list, const QString& address) {
    for (int row = 1; row <= list.RowCount(); ++row)
      if (list.CellText(row, kAddress) == address) return row;
    return 0;
  }

  // Runs body with statements of these owners on a connection of its own to the test's
  // database, the tables made and a row for each address in.
  void WithRows(const QStringList& addresses, const std::function<void(PoolSql&, PoolSql&)>& body) {
    const QString name = QUuid::createUuid().toString();
    {
      QSqlDatabase db = test::PgCluster::Connection(url_, name);
      ASSERT_TRUE(db.open());
      ASSERT_EQ(MigrateSchema(db), std::nullopt);
      QStringList values;
      for (int i = 0; i < addresses.size(); ++i)
        values << u"('%1', %2)"_s.arg(addresses[i]).arg(i + 1);
      test::PgCluster::Sql(url_, {u"INSERT INTO proxyharvest_rows (address, version) VALUES "_s +
                                  values.join(u", "_s)});
      PoolSql a(db, u"a"_s);
      PoolSql b(db, u"b"_s);
      body(a, b);
    }
    QSqlDatabase::removeDatabase(name);
  }

  PgTarget target_;
  QString log_;
};

TEST_F(SharedPoolInProcessTest, TwoPoolsFollowEachOthersRowsEditsRemovalsAndClaims) {
  ProxyList list_a;
  ProxyList list_b;
  std::unique_ptr<SharedPool> a = Opened(list_a);
  std::unique_ptr<SharedPool> b = Opened(list_b);

  std::vector<NewRow> rows(300);
  for (std::size_t i = 0; i < rows.size(); ++i)
    rows[i][kAddress - 1] = u"10.1.%1.%2:8080"_s.arg(i / 200).arg(i % 200);
  list_a.AppendRows(rows);
  ASSERT_EQ(a->Save(list_a), std::nullopt);
  ASSERT_EQ(a->WaitWritten(10000), std::nullopt);
  ASSERT_TRUE(test::WaitFor([&] { return list_b.RowCount() == 300; })) << list_b.RowCount();
  EXPECT_EQ(One(u"SELECT count(*) FROM proxyharvest_rows"_s), u"300"_s);

  // An edit in b, and a row b adds that a has already: a follows the one, and the other
  // stays one row everywhere.
  const int edited = RowWith(list_b, u"10.1.0.7:8080"_s);
  ASSERT_NE(edited, 0);
  list_b.EntryForWrite(edited).SetCell(kRegion, u"北京"_s);
  list_b.AppendRow(NewRow{u"10.1.0.8:8080"_s});
  ASSERT_EQ(b->Save(list_b), std::nullopt);
  ASSERT_TRUE(test::WaitFor([&] {
    const int row = RowWith(list_a, u"10.1.0.7:8080"_s);
    return row != 0 && list_a.CellText(row, kRegion) == u"北京"_s;
  }));
  ASSERT_TRUE(test::WaitFor([&] { return list_b.RowCount() == 300; })) << list_b.RowCount();
  EXPECT_EQ(list_a.RowCount(), 300);

  // A removal in a reaches b.
  std::vector<bool> remove(300, false);
  remove[static_cast<std::size_t>(RowWith(list_a, u"10.1.1.3:8080"_s) - 1)] = true;
  list_a.RemoveRows(remove);
  ASSERT_EQ(a->Save(list_a), std::nullopt);
  ASSERT_TRUE(test::WaitFor([&] { return list_b.RowCount() == 299; })) << list_b.RowCount();
  EXPECT_EQ(RowWith(list_b, u"10.1.1.3:8080"_s), 0);

  // A run over the whole pool, and a claim from each: no row is claimed twice (both hold
  // theirs under one name, the process's).
  a->Post([](PoolConnection& connection) { connection.StartRun({}, true); });
  ASSERT_TRUE(test::WaitFor([&] {
    return One(u"SELECT count(*) FROM proxyharvest_rows WHERE due_run IS NOT NULL"_s) == u"299"_s;
  }));
  const DbId run = One(u"SELECT max(id) FROM proxyharvest_runs"_s).toLongLong();
  for (SharedPool* pool : {a.get(), b.get()})
    pool->Post([run](PoolConnection& connection) { connection.Claim(run, 100, 60); });
  ASSERT_TRUE(test::WaitFor([&] {
    return One(u"SELECT count(*) FROM proxyharvest_rows WHERE lease_owner IS NOT NULL"_s) ==
           u"200"_s;
  }));
  // Leaving lets go of them.
  for (SharedPool* pool : {a.get(), b.get()})
    pool->Post([](PoolConnection& connection) { connection.Release({}); });
  ASSERT_EQ(a->WaitWritten(10000), std::nullopt);
  ASSERT_EQ(b->WaitWritten(10000), std::nullopt);
  EXPECT_EQ(One(u"SELECT count(*) FROM proxyharvest_rows WHERE lease_owner IS NOT NULL"_s), u"0"_s);
  EXPECT_TRUE(log_.isEmpty()) << log_.toStdString();
}

TEST_F(SharedPoolInProcessTest, OldRemovalsAreForgottenAndAReconnectedPoolStillDropsTheirRows) {
  ProxyList list;
  std::unique_ptr<SharedPool> pool = Opened(list);
  list.AppendRows({NewRow{u"10.2.0.1:80"_s}, NewRow{u"10.2.0.2:80"_s}});
  ASSERT_EQ(pool->Save(list), std::nullopt);
  ASSERT_EQ(pool->WaitWritten(10000), std::nullopt);
  ASSERT_EQ(One(u"SELECT count(*) FROM proxyharvest_rows"_s), u"2"_s);

  // A removal of two days ago is forgotten, one of now kept.
  test::PgCluster::Sql(url_, {u"INSERT INTO proxyharvest_removed (id, version, removed_at) "
                              u"VALUES (900001, nextval('proxyharvest_version'), now() - "
                              u"interval '2 days'), (900002, nextval('proxyharvest_version'), "
                              u"now())"_s});
  // The connection is cut under the pool, and meanwhile a row goes without a removal kept
  // for it, as after a day away: back, the pool reads every id again and drops it.
  test::PgCluster::Sql(
      url_, {u"DELETE FROM proxyharvest_rows WHERE address = '10.2.0.1:80'"_s,
             u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = "
             u"'proxyharvest' AND pid <> pg_backend_pid()"_s});
  ASSERT_TRUE(test::WaitFor([&] { return list.RowCount() == 1; })) << log_.toStdString();
  EXPECT_EQ(list.CellText(1, kAddress), u"10.2.0.2:80"_s);
  EXPECT_TRUE(test::WaitFor([&] {
    return One(u"SELECT string_agg(id::text, ',') FROM proxyharvest_removed"_s) == u"900002"_s;
  }));
  EXPECT_TRUE(log_.contains(u"已重新连接"_s)) << log_.toStdString();
}

// Notifications are read off libpq's own socket, and a broken connection is told by libpq:
// both need the driver's handle, whatever name Qt gives its type.
TEST_F(SharedPoolInProcessTest, TheDriverHandsOverLibpqsConnection) {
  const QString name = QUuid::createUuid().toString();
  {
    QSqlDatabase db = test::PgCluster::Connection(url_, name);
    ASSERT_TRUE(db.open());
    EXPECT_NE(PgHandle(db), nullptr);
  }
  QSqlDatabase::removeDatabase(name);
}

TEST_F(SharedPoolInProcessTest, ARunStartTriedAgainFindsTheRunItMade) {
  WithRows({u"10.3.0.1:80"_s, u"10.3.0.2:80"_s}, [&](PoolSql& sql, PoolSql&) {
    StartedRun first;
    StartedRun again;
    StartedRun next;
    ASSERT_EQ(sql.StartRun({}, true, u"start-1"_s, first), std::nullopt);
    ASSERT_EQ(sql.StartRun({}, true, u"start-1"_s, again), std::nullopt);
    EXPECT_EQ(again.run, first.run);
    EXPECT_EQ(again.total, 2);
    EXPECT_EQ(One(u"SELECT count(*), bool_and(NOT stopped) FROM proxyharvest_runs"_s), u"1|true"_s);
    ASSERT_EQ(sql.StartRun({u"10.3.0.2:80"_s}, false, u"start-2"_s, next), std::nullopt);
    EXPECT_GT(next.run, first.run);
    EXPECT_EQ(next.total, 1);
  });
}

TEST_F(SharedPoolInProcessTest, ARowWhoseClaimWentUnheardIsNotRenewedAndPassesToAnother) {
  WithRows({u"10.4.0.1:80"_s, u"10.4.0.2:80"_s}, [&](PoolSql& a, PoolSql& b) {
    StartedRun started;
    ASSERT_EQ(a.StartRun({}, true, u"start"_s, started), std::nullopt);
    PoolNews claimed;
    ASSERT_EQ(a.Claim(started.run, 2, 1, claimed), std::nullopt);
    ASSERT_EQ(claimed.claim->ids.size(), 2u);
    // a heard of the first row only: it renews that one, and the other's lease runs out.
    const DbId heard = claimed.claim->ids[0];
    ASSERT_EQ(a.Renew(60, {heard}), std::nullopt);
    PoolNews taken;
    ASSERT_TRUE(test::WaitFor([&] {
      taken = PoolNews{};
      return !b.Claim(started.run, 2, 60, taken) && !taken.claim->ids.empty();
    }));
    EXPECT_EQ(taken.claim->ids, std::vector<DbId>{claimed.claim->ids[1]});
    EXPECT_EQ(One(u"SELECT lease_owner FROM proxyharvest_rows WHERE id = %1"_s.arg(heard)), u"a"_s);
  });
}

TEST_F(SharedPoolInProcessTest, AStartThatFailsSaysWhyAndWhetherTheDatabaseWasThere) {
  struct Case {
    const char* name;
    PgTarget target;
    bool away;
  };
  PgTarget closed = target_;
  closed.port = test::ClosedPort();
  PgTarget wrong_password = target_;
  wrong_password.password = u"not-the-password"_s;
  PgTarget missing = target_;
  missing.database = u"no_such_database"_s;
  const Case cases[] = {
      {"nothing listens", closed, true},
      {"a wrong password", wrong_password, false},
      {"no such database", missing, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The list's thread, here, waits as a start does; a short patience for a database away.
    PoolConnection connection(c.target, u"test"_s, 600);
    std::vector<DbRow> rows;
    QString waited_for;
    const std::optional<PoolConnection::OpenRefusal> refusal = connection.Open(rows, waited_for);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_FALSE(refusal->text.trimmed().isEmpty());
    EXPECT_EQ(refusal->away, c.away) << refusal->text.toStdString();
    // Only a database away is waited for.
    EXPECT_EQ(!waited_for.isEmpty(), c.away) << waited_for.toStdString();
  }
}

}  // namespace
}  // namespace ph
