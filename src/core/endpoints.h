#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace ph {

class ProgramDir;

// Every web endpoint of the program. Paths and queries are fixed by the callers;
// only the base URL (scheme and host) lives here.
enum class Endpoint {
  TestSina,        // HTTP test target, Sina IP lookup
  TestIp138,       // HTTP test target, IP138 own-address page
  TestChinaz,      // HTTP test target, Chinaz own-address service
  TestTaobao,      // HTTPS test target, Taobao home page
  TestBaidu,       // HTTPS test target, Baidu home page
  TestWeibo,       // HTTPS test target, Weibo home page
  Xicidaili,       // proxy-list pages
  Ip66,            // 66ip proxy-list API
  Info126,         // NetEase IP location
  InfoIp138Page,   // IP138 own-address page for the external address
  InfoTaobao,      // Taobao IP service
  InfoSina,        // Sina IP lookup
  InfoBaiduMap,    // Baidu map IP location
  InfoIp138Query,  // IP138 query interface
  InfoJuhe,        // Juhe IP-to-address
  Judge,           // anonymity judge: its whole URL, path and query included
};
inline constexpr int kEndpointCount = 16;

// Base URLs, the built-in defaults overridden by "endpoints.ini" in the program directory
// (one "name=base URL" per line).
class Endpoints {
 public:
  Endpoints();  // the defaults
  explicit Endpoints(const ProgramDir& dir);

  // Base URL without a trailing slash.
  const QString& Base(Endpoint e) const;
  // Base URL followed by path (and query) as given.
  QString Url(Endpoint e, const QString& path_and_query) const;

  // Lines of "endpoints.ini" that were not understood, for one status message.
  const QStringList& Problems() const { return problems_; }

  static QString DefaultBase(Endpoint e);

 private:
  void Load(const QString& path);

  std::array<QString, kEndpointCount> bases_;
  QStringList problems_;
};

}  // namespace ph
