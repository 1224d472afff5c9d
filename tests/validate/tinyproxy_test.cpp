#include "support/probe_once.h"
#include "validate/probe.h"

#include "support/child_servers.h"
#include "support/http_fixtures.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(TinyproxyIntegration, ProbesThroughARealProxy) {
  test::TempProgramDir dir;
  const auto tinyproxy = test::StartTinyproxy(dir);
  ASSERT_TRUE(tinyproxy->Started()) << "tinyproxy is installed by scripts/test";
  test::PageServer target;
  target.Set("/ic.asp", {200, "<p>your address: [127.0.0.1]</p>", "text/html", 0});

  ProbeSettings settings;
  settings.test_http = true;
  settings.timeout_ms = 5000;
  settings.http_url = QString::fromStdString(target.Url("/ic.asp")) + u"#ip138"_s;
  const std::string record = test::ProbeOnce(tinyproxy->Address(), 11, settings);
  EXPECT_EQ(record.rfind("lvid=11;suc=18;statu=200;", 0), 0u) << record;
  EXPECT_NE(record.find(";error=;errnum=0;"), std::string::npos);
  EXPECT_EQ(target.Requests(), 1);
}

}  // namespace
}  // namespace ph
