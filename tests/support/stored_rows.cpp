#include "support/stored_rows.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace ph::test {

using namespace Qt::StringLiterals;

QStringList DatabaseRows(const QString& path) {
  QStringList rows;
  const QString connection = QUuid::createUuid().toString();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
    db.setDatabaseName(path);
    db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
    if (db.open()) {
      QSqlQuery query(u"SELECT * FROM proxy_rows ORDER BY id"_s, db);
      while (query.next()) {
        QStringList cells;
        for (int cell = 1; cell <= 14; ++cell) cells << query.value(cell).toString();
        rows << cells.join(u'|');
      }
    }
  }
  QSqlDatabase::removeDatabase(connection);
  return rows;
}

}  // namespace ph::test
