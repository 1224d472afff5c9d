#include "support/pg_cluster.h"

#include "support/loopback_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <QVariant>

namespace ph::test {

using namespace Qt::StringLiterals;

namespace {

// Exit status of pg-cluster when the server programs are missing.
constexpr int kMissing = 77;

}  // namespace

PgCluster::PgCluster(bool own_only)
    : dir_(QDir::temp().filePath(u"ph-pg-"_s + QUuid::createUuid().toString(QUuid::Id128))) {
  const QString given = qEnvironmentVariable(kUrlVariable);
  if (!own_only && !given.isEmpty()) {
    own_ = false;
    url_ = given;
    started_ = running_ = true;
    return;
  }
  // A port found free may be taken before the server binds it: another then.
  QString output;
  for (int attempt = 0; attempt < 3 && !started_; ++attempt) {
    port_ = ClosedPort();
    started_ = Script({u"start"_s, dir_, QString::number(port_)}, &output);
    if (!started_ && problem_.contains(u"not installed"_s)) break;
  }
  running_ = started_;
  url_ = output.trimmed();
}

PgCluster::~PgCluster() {
  if (own_) Script({u"remove"_s, dir_});
}

bool PgCluster::Script(const QStringList& arguments, QString* output) {
  QProcess script;
  script.start(u"bash"_s,
               QStringList{QStringLiteral(PH_SOURCE_DIR "/scripts/pg-cluster")} + arguments);
  if (!script.waitForFinished(60000)) {
    problem_ = u"pg-cluster did not finish"_s;
    return false;
  }
  if (output != nullptr) *output = QString::fromUtf8(script.readAllStandardOutput());
  if (script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0) return true;
  problem_ = script.exitCode() == kMissing
                 ? u"PostgreSQL server programs not installed (Debian package postgresql)"_s
                 : QString::fromUtf8(script.readAllStandardError());
  return false;
}

QString PgCluster::NewDatabase() {
  // A cluster from outside may hold the databases of an earlier run of the tests.
  const QString name = u"test_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++databases_);
  Sql(url_, {u"CREATE DATABASE "_s + name});
  QUrl url(url_);
  url.setPath(u"/"_s + name);
  return url.toString();
}

bool PgCluster::Stop() {
  if (!own_ || !Script({u"stop"_s, dir_})) return false;
  running_ = false;
  return true;
}

bool PgCluster::Start() {
  if (!own_ || !Script({u"start"_s, dir_, QString::number(port_)})) return false;
  running_ = true;
  return true;
}

QSqlDatabase PgCluster::Connection(const QString& url, const QString& name) {
  const QUrl parts(url);
  QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
  db.setHostName(parts.host());
  db.setPort(parts.port());
  db.setUserName(parts.userName());
  db.setPassword(parts.password());
  db.setDatabaseName(parts.path().mid(1));
  return db;
}

QStringList PgCluster::Sql(const QString& url, const QStringList& statements) {
  QStringList rows;
  const QString connection = QUuid::createUuid().toString();
  {
    QSqlDatabase db = Connection(url, connection);
    if (db.open()) {
      QSqlQuery query(db);
      for (const QString& statement : statements) {
        if (!query.exec(statement)) {
          rows = {u"failed: "_s + query.lastError().text()};
          break;
        }
        while (query.next()) {
          QStringList values;
          for (int i = 0; i < query.record().count(); ++i) values << query.value(i).toString();
          rows << values.join(u'|');
        }
      }
    } else {
      rows = {u"failed: "_s + db.lastError().text()};
    }
  }
  QSqlDatabase::removeDatabase(connection);
  return rows;
}

}  // namespace ph::test
