#include "sysproxy/proxy_backend.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Kind = ProxyAddress::Kind;

TEST(ParseProxyAddress, TakesIpPortAndSocksAddresses) {
  struct Case {
    QString text;
    Kind kind;
    QString host;
    int port;
  };
  const Case cases[] = {
      {u"1.2.3.4:8080"_s, Kind::Http, u"1.2.3.4"_s, 8080},
      {u"255.255.255.255:65535"_s, Kind::Http, u"255.255.255.255"_s, 65535},
      {u"10.0.0.1:1"_s, Kind::Http, u"10.0.0.1"_s, 1},
      {u"socks4://5.6.7.8:1080"_s, Kind::Socks, u"5.6.7.8"_s, 1080},
      {u"socks5://0.0.0.0:9050"_s, Kind::Socks, u"0.0.0.0"_s, 9050},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    ProxyAddress address;
    EXPECT_TRUE(ParseProxyAddress(c.text, &address).ok);
    EXPECT_EQ(address.kind, c.kind);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
  }
}

TEST(ParseProxyAddress, RefusesAnythingElse) {
  const QString refused[] = {
      u""_s,
      u"1.2.3.4"_s,
      u"1.2.3.4:"_s,
      u":8080"_s,
      u"1.2.3.4:0"_s,
      u"1.2.3.4:65536"_s,
      u"1.2.3.4:99999999999"_s,
      u"1.2.3.4:080"_s,
      u"1.2.3.4:+80"_s,
      u"1.2.3:80"_s,
      u"1.2.3.4.5:80"_s,
      u"1..3.4:80"_s,
      u"256.1.1.1:80"_s,
      u"01.2.3.4:80"_s,  // octal to some parsers
      u"１.2.3.4:80"_s,  // full-width digit
      u"1.2.3.4:8０"_s,
      u"example.com:80"_s,
      u"[::1]:80"_s,
      u" 1.2.3.4:80"_s,
      u"1.2.3.4:80 "_s,
      u"1.2.3.4:80\n[Other]"_s,
      u"1.2.3.4:80:81"_s,
      u"http://1.2.3.4:80"_s,
      u"SOCKS5://1.2.3.4:80"_s,
      u"socks://1.2.3.4:80"_s,
      u"socks5://1.2.3.4"_s,
      u"socks5://socks5://1.2.3.4:80"_s,
      u"socks5:/1.2.3.4:80"_s,
  };
  for (const QString& text : refused) {
    SCOPED_TRACE(text.toStdString());
    ProxyAddress address;
    const SysProxyResult result = ParseProxyAddress(text, &address);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.isEmpty());
  }
}

TEST(ChooseDesktop, KdeByNameOtherwiseGnomeSettingsWhereInstalled) {
  struct Case {
    QString xdg_current_desktop;
    bool gnome_schema;
    Desktop desktop;
  };
  const Case cases[] = {
      {u"KDE"_s, true, Desktop::Kde},
      {u"kde"_s, false, Desktop::Kde},
      {u"X-Generic:KDE"_s, false, Desktop::Kde},
      {u"ubuntu:GNOME"_s, true, Desktop::Gnome},
      {u"X-Cinnamon"_s, true, Desktop::Gnome},
      {u"Budgie:GNOME"_s, true, Desktop::Gnome},
      {u"KDEish"_s, true, Desktop::Gnome},
      {u""_s, true, Desktop::Gnome},
      {u""_s, false, Desktop::None},
      {u"GNOME"_s, false, Desktop::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xdg_current_desktop.toStdString());
    EXPECT_EQ(ChooseDesktop(c.xdg_current_desktop, c.gnome_schema), c.desktop);
  }
}

}  // namespace
}  // namespace ph
