#pragma once

#include "core/endpoints.h"
#include "core/gbk.h"
#include "iploc/ip_location.h"
#include "support/http_fixtures.h"
#include "support/qqwry_builder.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace ph::test {

using namespace Qt::StringLiterals;

// The IP-information services and their names in "endpoints.ini".
inline constexpr std::pair<Endpoint, const char16_t*> kInfoServices[] = {
    {Endpoint::Info126, u"info_126"},
    {Endpoint::InfoIp138Page, u"info_ip138_page"},
    {Endpoint::InfoTaobao, u"info_taobao"},
    {Endpoint::InfoSina, u"info_sina"},
    {Endpoint::InfoBaiduMap, u"info_baidu_map"},
    {Endpoint::InfoIp138Query, u"info_ip138_query"},
    {Endpoint::InfoJuhe, u"info_juhe"}};

inline QQWryBuilder Database() {
  QQWryBuilder db;
  db.AddRanges({{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), u"北京市"_s, u"联通"_s},
                {Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), u"广东省"_s, u""_s}});
  db.AddFiller(Ip(3, 0, 0, 0));
  return db;
}

inline Page Gbk(const QString& body, const std::string& type = "text/javascript; charset=gbk") {
  return {200, ToGbk(body).toStdString(), type, 0};
}

// Every IP-information service of the program directory's "endpoints.ini" is the loopback
// server, so nothing here can reach another host, whether the database is found or not.
class IpServicesTest : public ::testing::Test {
 protected:
  IpServicesTest() { PointServicesAt(u"http://127.0.0.1:%1"_s.arg(server.Port())); }

  void SetUp() override {
    for (const auto& [service, name] : kInfoServices)
      ASSERT_TRUE(endpoints.Base(service).startsWith("http://127.0.0.1:"_L1));
  }

  void PointServicesAt(const QString& base) {
    QString ini;
    for (const auto& [service, name] : kInfoServices)
      ini += QString::fromUtf16(name) + u'=' + base + u'\n';
    dir.Write(u"endpoints.ini"_s, ini.toUtf8());
    endpoints = Endpoints(dir.Dir());
  }
  void WriteDatabase(const QString& name = u"qqwry.dat"_s) {
    WriteDatabaseFile(dir.File(name), Database().Bytes());
  }
  // The location of an address, waited for with the event loop running.
  QString Locate(const QString& address) {
    std::optional<QString> location;
    LookupIpLocation(address, dir.Dir(), endpoints, nullptr,
                     [&location](const QString& found) { location = found; });
    WaitFor([&] { return location.has_value(); }, 35000);
    return location.value_or(u"no answer"_s);
  }
  std::string LastTarget() const { return RequestTarget(server.LastHead()); }

  PageServer server;
  TempProgramDir dir;
  Endpoints endpoints;
};

}  // namespace ph::test
