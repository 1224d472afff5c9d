#include "iploc/ip_location.h"

#include "core/endpoints.h"
#include "core/program_dir.h"
#include "iploc/database_file.h"
#include "iploc/qqwry.h"
#include "web/decode_uri.h"
#include "web/text_helpers.h"
#include "web/web_fetch.h"

#include <QUrl>

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// An address goes into a query as it is; escaping only matters for text that is no address,
// which must not add parameters of its own.
QString QueryValue(const QString& address) {
  return QString::fromLatin1(QUrl::toPercentEncoding(address));
}

// The text between start_marker and the next double quote.
QString Quoted(const QString& text, QStringView start_marker) {
  return TextBetween(text, start_marker, u"\"");
}

QString Url126(const QString& address, const Endpoints& endpoints) {
  return endpoints.Url(Endpoint::Info126, u"/ipquery?ip="_s + QueryValue(address));
}

QString From126(const QString& text) {
  return Quoted(text, uR"(lo=")") + u' ' + Quoted(text, uR"(lc=")");
}

// The machine's address as the IP138 page shows it.
QString ExternalAddress(const QString& page) { return TextBetween(page, u"[", u"]"); }

}  // namespace

std::optional<QString> LocationFromDatabase(const QString& address, const ProgramDir& dir) {
  std::optional<DatabaseFile> file = OpenDatabaseFile(dir);
  if (!file) return std::nullopt;
  QQWry database(*std::move(file));
  database.Lookup(address);
  return database.Country + u' ' + database.LocalStr;
}

void QueryExternalAddress(const Endpoints& endpoints, const QObject* context,
                          std::function<void(const QString& address)> done) {
  FetchAsync(endpoints.Url(Endpoint::InfoIp138Page, u"/ic.asp"_s), FetchMode::GbkBytes,
             kFetchTimeoutMs, context,
             [done = std::move(done)](const QString& page) { done(ExternalAddress(page)); });
}

void LookupIpLocation(const QString& address, const ProgramDir& dir, const Endpoints& endpoints,
                      const QObject* context, std::function<void(const QString& location)> done) {
  if (std::optional<QString> location = LocationFromDatabase(address, dir)) {
    done(*location);
    return;
  }
  FetchAsync(Url126(address, endpoints), FetchMode::DeclaredCharset, kFetchTimeoutMs, context,
             [done = std::move(done)](const QString& text) { done(From126(text)); });
}

void QueryIpInfo(const QString& address, const Endpoints& endpoints, const QObject* context,
                 std::function<void(const QString& info)> done) {
  FetchAsync(
      endpoints.Url(Endpoint::InfoTaobao, u"/service/getIpInfo.php?ip="_s + QueryValue(address)),
      FetchMode::DeclaredCharset, kFetchTimeoutMs, context,
      [done = std::move(done)](const QString& answer) {
        const QString text = DecodeUri(answer);
        done(Quoted(text, uR"(region":")") + u' ' + Quoted(text, uR"(city":")") + u' ' +
             Quoted(text, uR"(isp":")"));
      });
}

}  // namespace ph
