#pragma once

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace ph::test {

// A throw-away PostgreSQL cluster on a free loopback port, started with scripts/pg-cluster for
// as long as the object lives, in a directory under the system's temporary directory (the
// server's user must reach it). Started() is false, with the reason, when the PostgreSQL
// server programs are not installed.
class PgCluster {
 public:
  // Names a cluster started outside the test process: ThreadSanitizer cannot follow a fork
  // once threads run, so its stage starts one before and passes its URL here.
  static constexpr const char* kUrlVariable = "PH_TEST_PG_URL";

  // The cluster that variable names, or, with own_only or without it, one started here.
  explicit PgCluster(bool own_only = false);
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  bool Started() const { return started_; }
  const QString& Problem() const { return problem_; }
  // A new, empty database; its URL (with the password).
  QString NewDatabase();
  // Stops the server (open transactions are rolled back), and starts it again on its port;
  // only a cluster started here.
  bool Stop();
  bool Start();
  bool Running() const { return running_; }

  // Runs statements on the database of that URL; each SELECT's rows, a row's values joined by
  // "|". An empty list on a failure, which the test sees.
  static QStringList Sql(const QString& url, const QStringList& statements);
  // A QPSQL connection of that name to the database of that URL, not opened yet.
  static QSqlDatabase Connection(const QString& url, const QString& name);

 private:
  bool Script(const QStringList& arguments, QString* output = nullptr);

  QString dir_;
  quint16 port_ = 0;
  QString url_;
  bool started_ = false;
  bool running_ = false;
  bool own_ = true;
  QString problem_;
  int databases_ = 0;
};

// Tests with a cluster for their suite (see PgCluster for own_only) and a new, empty database
// each, whose URL is url_. CI installs PostgreSQL: there only a missing server skips, and says
// so.
template <bool kOwnOnly>
class PgClusterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cluster_ = new PgCluster(kOwnOnly); }
  static void TearDownTestSuite() {
    delete cluster_;
    cluster_ = nullptr;
  }
  void SetUp() override {
    if (!cluster_->Started()) {
      if (cluster_->Problem().contains(QStringLiteral("not installed")))
        GTEST_SKIP() << cluster_->Problem().toStdString();
      FAIL() << cluster_->Problem().toStdString();
    }
    url_ = cluster_->NewDatabase();
  }
  // A test that failed while the database was stopped leaves it running for the next.
  void TearDown() override {
    if (cluster_->Started() && !cluster_->Running()) cluster_->Start();
  }
  QString One(const QString& statement) const {
    const QStringList rows = PgCluster::Sql(url_, {statement});
    return rows.isEmpty() ? QString() : rows.first();
  }

  static inline PgCluster* cluster_ = nullptr;
  QString url_;
};

}  // namespace ph::test
