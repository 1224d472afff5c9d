#include "store/pg_target.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace ph {

using namespace Qt::StringLiterals;

bool IsPgUrl(const QString& text) {
  return text.startsWith(u"postgresql://"_s, Qt::CaseInsensitive) ||
         text.startsWith(u"postgres://"_s, Qt::CaseInsensitive);
}

QString PgTarget::Shown() const {
  QUrl url;
  url.setScheme(u"postgresql"_s);
  url.setUserName(user);
  url.setHost(host);
  url.setPort(port);
  url.setPath(u"/"_s + database);
  return url.toString();
}

std::optional<QString> ReadPgUrl(const QString& text, PgTarget& target) {
  const QUrl url(text, QUrl::StrictMode);
  if (!url.isValid() || !IsPgUrl(text)) return u"数据库地址无效: "_s + url.errorString();
  PgTarget read;
  read.host = url.host();
  read.port = url.port(-1);
  read.user = url.userName(QUrl::FullyDecoded);
  read.password = url.password(QUrl::FullyDecoded);
  read.database = url.path(QUrl::FullyDecoded).mid(1);
  if (read.database.contains(u'/')) return u"数据库地址中的库名无效: "_s + read.database;
  // QPSQL joins the options into libpq's connection text with spaces for ";": a value must
  // not carry either, nor a quote that would end it early.
  static const QRegularExpression kKey(u"^[a-z_]{1,40}$"_s);
  static const QRegularExpression kValue(u"^[^\\s;'\\\\]{0,200}$"_s);
  QStringList options;
  for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
    if (!kKey.match(key).hasMatch() || !kValue.match(value).hasMatch())
      return u"数据库地址中的参数无效: "_s + key;
    options << key + u'=' + value;
  }
  read.options = options.join(u';');
  target = std::move(read);
  return std::nullopt;
}

}  // namespace ph
