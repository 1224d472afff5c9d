#include "status/status_page.h"

#include "status/status_json.h"

#include <QFile>

namespace ph {
namespace {

constexpr QByteArrayView kPlace = "@STATUS_JSON@";

// The page as built into the program, read once.
const QByteArray& Template() {
  static const QByteArray page = [] {
    QFile file(QStringLiteral(":/status/status_page.html"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  return page;
}

}  // namespace

QByteArray StatusPage(const StatusBoard& board) {
  const QByteArray& page = Template();
  const qsizetype at = page.indexOf(kPlace);
  if (at < 0) return page;
  // The JSON escapes "<", so it cannot end the script element it stands in.
  const QByteArray status = StatusJson(board);
  QByteArray whole;
  whole.reserve(page.size() + status.size());
  whole.append(QByteArrayView(page).first(at))
      .append(status)
      .append(QByteArrayView(page).sliced(at + kPlace.size()));
  return whole;
}

}  // namespace ph
