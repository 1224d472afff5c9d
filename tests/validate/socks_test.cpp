#include "support/probe_once.h"
#include "validate/probe.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/child_servers.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "validate/validation_run.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The test page, named so that the probe looks for "[" in it.
class SocksTest : public ::testing::Test {
 protected:
  SocksTest() {
    target.Set("/ic.asp", {200, "<p>your address: [127.0.0.1]</p>", "text/html", 0});
    settings.test_http = true;
    settings.timeout_ms = 2000;
    settings.http_url = QString::fromStdString(target.Url("/ic.asp")) + u"#ip138"_s;
  }
  std::string Probe(const QString& address) { return test::ProbeOnce(address, 7, settings); }
  static bool Succeeded(const std::string& record) {
    return record.rfind("lvid=7;suc=18;statu=200;", 0) == 0 &&
           record.find(";error=;errnum=0;") != std::string::npos;
  }

  test::TempProgramDir dir;
  test::PageServer target;
  ProbeSettings settings;
};

TEST_F(SocksTest, ProbesThroughRealSocksServers) {
  const auto microsocks = test::StartMicrosocks();
  const auto danted = test::StartDanted(dir);
  ASSERT_TRUE(microsocks->Started()) << "microsocks is installed by scripts/test";
  ASSERT_TRUE(danted->Started()) << "dante-server is installed by scripts/test";
  for (const QString& address : {microsocks->Address(u"socks5"_s), danted->Address(u"socks5"_s),
                                 danted->Address(u"socks4"_s)}) {
    const std::string record = Probe(address);
    EXPECT_TRUE(Succeeded(record)) << address.toStdString() << ": " << record;
  }
  EXPECT_EQ(target.Requests(), 3);
}

TEST_F(SocksTest, AClosedPortOrAnHttpProxyAddressedAsSocksFails) {
  test::FakeProxy http_proxy;
  const QString http_address = QString::fromStdString(http_proxy.Address());
  const QString closed = u"127.0.0.1:%1"_s.arg(test::ClosedPort());
  for (const QString& address : {u"socks5://"_s + closed, u"socks4://"_s + closed,
                                 u"socks5://"_s + http_address, u"socks4://"_s + http_address}) {
    const std::string record = Probe(address);
    EXPECT_EQ(record.rfind("lvid=7;suc=0;statu=0;", 0), 0u) << address.toStdString();
    EXPECT_EQ(record.find(";errnum=0;"), std::string::npos) << record;
  }
  EXPECT_EQ(target.Requests(), 0);
}

TEST_F(SocksTest, ARunValidatesHttpAndSocksEntriesAlike) {
  const auto microsocks = test::StartMicrosocks();
  ASSERT_TRUE(microsocks->Started());
  test::FakeProxy http_proxy;
  test::FakeWindow window;
  dir.Write(u"endpoints.ini"_s, (u"test_ip138="_s + settings.http_url).toUtf8());
  AppState state(window, dir.Dir());
  state.Startup();
  ValidationRuns runs(state);
  state.List().AppendRow({QString::fromStdString(http_proxy.Address())});
  state.List().AppendRow({microsocks->Address(u"socks5"_s)});
  runs.ValidateAll();
  ASSERT_TRUE(test::WaitFor([&] { return !runs.TestRunning(); }, 10000));
  EXPECT_EQ(state.List().CellText(1, kTestResult), u"成 功"_s);
  EXPECT_EQ(state.List().CellText(2, kTestResult), u"成 功"_s);
  EXPECT_EQ(target.Requests(), 2);
  test::WaitFor([&] { return runs.ProbesInFlight() == 0; }, 5000);
}

}  // namespace
}  // namespace ph
