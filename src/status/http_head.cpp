#include "status/http_head.h"

#include <QList>

#include <algorithm>

namespace ph {
namespace {

bool SameName(QByteArrayView a, QByteArrayView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// A comma-separated list of tokens holds this one, in any case.
bool HasToken(QByteArrayView list, QByteArrayView token) {
  for (const QByteArrayView part : list.toByteArray().split(','))
    if (SameName(part.trimmed(), token)) return true;
  return false;
}

}  // namespace

std::optional<HttpHead> ParseHttpHead(QByteArrayView head) {
  QList<QByteArray> lines = head.toByteArray().split('\n');
  for (QByteArray& line : lines)
    if (line.endsWith('\r')) line.chop(1);
  if (lines.isEmpty()) return std::nullopt;
  const QList<QByteArray> words = lines.front().split(' ');
  if (words.size() != 3 || words[0].isEmpty() || !words[1].startsWith('/')) return std::nullopt;
  HttpHead parsed;
  parsed.method = words[0];
  if (words[2] == "HTTP/1.1") {
    parsed.http11 = true;
  } else if (words[2] != "HTTP/1.0") {
    return std::nullopt;
  }
  qsizetype path_end = words[1].size();
  for (const char mark : {'?', '#'})
    if (const qsizetype at = words[1].indexOf(mark); at >= 0) path_end = std::min(path_end, at);
  parsed.path = words[1].left(path_end);
  bool close = false;
  bool keep_alive = false;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    if (line.isEmpty()) break;
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return std::nullopt;
    const QByteArrayView name = QByteArrayView(line).first(colon);
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (SameName(name, "connection")) {
      close = close || HasToken(value, "close");
      keep_alive = keep_alive || HasToken(value, "keep-alive");
    } else if (SameName(name, "content-length")) {
      bool ok = false;
      const qlonglong length = value.toLongLong(&ok);
      if (!ok || length < 0) return std::nullopt;
      parsed.has_body = parsed.has_body || length > 0;
    } else if (SameName(name, "transfer-encoding")) {
      parsed.has_body = true;
    } else if (SameName(name, "authorization")) {
      parsed.authorization = value;
    }
  }
  parsed.keep_alive = !close && (parsed.http11 || keep_alive);
  return parsed;
}

bool BasicPasswordMatches(const QByteArray& authorization, const QString& password) {
  const qsizetype space = authorization.indexOf(' ');
  if (space < 0 || !SameName(QByteArrayView(authorization).first(space), "basic")) return false;
  const auto decoded = QByteArray::fromBase64Encoding(authorization.mid(space + 1).trimmed(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return false;
  const qsizetype colon = decoded.decoded.indexOf(':');
  if (colon < 0) return false;
  const QByteArray given = decoded.decoded.mid(colon + 1);
  const QByteArray wanted = password.toUtf8();
  // Every byte is looked at whatever the others hold, so the time tells nothing of the
  // password.
  unsigned differs = given.size() == wanted.size() ? 0U : 1U;
  for (qsizetype i = 0; i < given.size(); ++i)
    differs |= static_cast<unsigned char>(given[i]) ^
               static_cast<unsigned char>(wanted.isEmpty() ? 0 : wanted[i % wanted.size()]);
  return differs == 0;
}

}  // namespace ph
