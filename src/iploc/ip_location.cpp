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

// Fixed access keys of the program.
const QString kBaiduKey = u"Qm7TzR2vLx9NcW4pHs8KdF3jYb6GtE5a"_s;
const QString kJuheKey = u"0f1e2d3c4b5a69788796a5b4c3d2e1f0"_s;

// An address goes into a query as it is; escaping only matters for text that is no address,
// which must not add parameters of its own.
QString QueryValue(const QString& address) {
  return QString::fromLatin1(QUrl::toPercentEncoding(address));
}

QString Ask(const Endpoints& endpoints, Endpoint service, const QString& path_and_query,
            FetchMode mode = FetchMode::DeclaredCharset) {
  return FetchUrl(endpoints.Url(service, path_and_query), mode);
}

// The text between start_marker and the next double quote.
QString Quoted(const QString& text, QStringView start_marker) {
  return TextBetween(text, start_marker, u"\"");
}

std::optional<QString> LookupInDatabase(const QString& address, const ProgramDir& dir) {
  std::optional<DatabaseFile> file = OpenDatabaseFile(dir);
  if (!file) return std::nullopt;
  QQWry database(*std::move(file));
  database.Lookup(address);
  return database.Country + u' ' + database.LocalStr;
}

QString Url126(const QString& address, const Endpoints& endpoints) {
  return endpoints.Url(Endpoint::Info126, u"/ipquery?ip="_s + QueryValue(address));
}

QString From126(const QString& text) {
  return Quoted(text, uR"(lo=")") + u' ' + Quoted(text, uR"(lc=")");
}

// The machine's address and location as the IP138 page shows them.
QString ExternalAddress(const QString& page) { return TextBetween(page, u"[", u"]"); }
QString ExternalLocation(const QString& page) { return TextBetween(page, u"来自：", u"</center>"); }

}  // namespace

void QueryExternalAddressAsync(const Endpoints& endpoints, const QObject* context,
                               std::function<void(const QString& address)> done) {
  FetchAsync(endpoints.Url(Endpoint::InfoIp138Page, u"/ic.asp"_s), FetchMode::GbkBytes,
             kFetchTimeoutMs, context,
             [done = std::move(done)](const QString& page) { done(ExternalAddress(page)); });
}

QString LookupIpLocation(const QString& address, const ProgramDir& dir,
                         const Endpoints& endpoints) {
  if (std::optional<QString> location = LookupInDatabase(address, dir)) return *location;
  return From126(FetchUrl(Url126(address, endpoints), FetchMode::DeclaredCharset));
}

void LookupIpLocationAsync(const QString& address, const ProgramDir& dir,
                           const Endpoints& endpoints, const QObject* context,
                           std::function<void(const QString& location)> done) {
  if (std::optional<QString> location = LookupInDatabase(address, dir)) {
    done(*location);
    return;
  }
  FetchAsync(Url126(address, endpoints), FetchMode::DeclaredCharset, kFetchTimeoutMs, context,
             [done = std::move(done)](const QString& text) { done(From126(text)); });
}

QString QueryIpInfo(const QString& address, int16_t service, QString& location,
                    QString& coordinates, const Endpoints& endpoints) {
  if (address.isEmpty()) {
    const QString page = Ask(endpoints, Endpoint::InfoIp138Page, u"/ic.asp"_s, FetchMode::GbkBytes);
    location = ExternalLocation(page);
    return ExternalAddress(page);
  }
  const QString ip = QueryValue(address);
  switch (service) {
    case 0: {
      const QString text =
          DecodeUri(Ask(endpoints, Endpoint::InfoTaobao, u"/service/getIpInfo.php?ip="_s + ip));
      return Quoted(text, uR"(region":")") + u' ' + Quoted(text, uR"(city":")") + u' ' +
             Quoted(text, uR"(isp":")");
    }
    case 1: {
      const QString text = DecodeUri(
          Ask(endpoints, Endpoint::InfoSina, u"/iplookup/iplookup.php?format=js&ip="_s + ip));
      return Quoted(text, uR"(province":")") + Quoted(text, uR"(city":")");
    }
    case 2: {
      const QString text =
          DecodeUri(Ask(endpoints, Endpoint::InfoBaiduMap,
                        u"/location/ip?ak="_s + kBaiduKey + u"&ip="_s + ip + u"&coor=bd09ll"_s));
      coordinates = Quoted(text, uR"(,"y":")") + u',' + Quoted(text, uR"(x":")");
      return Quoted(text, uR"(:{"address":")");
    }
    case 3: {
      const QString text =
          Ask(endpoints, Endpoint::InfoIp138Query, u"/query/?ip="_s + ip + u"&datatype=text"_s) +
          u"\r\n"_s;
      return TextBetween(text, u"\t", u"\r\n");
    }
    case 4: {
      const QString text = Ask(endpoints, Endpoint::InfoJuhe,
                               u"/ip/ip2addr?ip="_s + ip + u"&dtype=&key="_s + kJuheKey);
      return Quoted(text, uR"(area":")") + u' ' + Quoted(text, uR"(location":")");
    }
    default:
      return {};
  }
}

}  // namespace ph
