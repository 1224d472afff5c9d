#include "core/endpoints.h"

#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(Endpoints, TestTargetHostsCarryTheirWords) {
  const Endpoints endpoints;
  EXPECT_TRUE(endpoints.Base(Endpoint::TestSina).contains("sina"_L1));
  EXPECT_TRUE(endpoints.Base(Endpoint::TestIp138).contains("ip138"_L1));
  EXPECT_TRUE(endpoints.Base(Endpoint::TestChinaz).contains("chinaz"_L1));
  EXPECT_TRUE(endpoints.Base(Endpoint::TestBaidu).startsWith("https://"_L1));
  EXPECT_TRUE(endpoints.Base(Endpoint::TestBaidu).contains("baidu"_L1));
  EXPECT_TRUE(endpoints.Base(Endpoint::TestTaobao).contains("taobao"_L1));
  EXPECT_TRUE(endpoints.Base(Endpoint::TestWeibo).contains("weibo"_L1));
  EXPECT_TRUE(endpoints.Problems().isEmpty());
}

TEST(Endpoints, IniFileOverridesAndReportsWhatItCannotUse) {
  test::TempProgramDir dir;
  dir.Write(u"endpoints.ini"_s,
            "# loopback set-up\r\n"
            "info_126 = http://127.0.0.1:4100/\r\n"
            "test_ip138=http://ip138.test:4200\n"
            "judge=http://127.0.0.9:4300/get?show_env=1\n"
            "no_such_service=http://127.0.0.1:1\n"
            "xicidaili=not a url\n"
            "just text\n"
            "\n");
  const Endpoints endpoints(dir.Dir());
  EXPECT_EQ(endpoints.Url(Endpoint::Info126, u"/ipquery?ip=1.2.3.4"_s),
            u"http://127.0.0.1:4100/ipquery?ip=1.2.3.4"_s);
  EXPECT_EQ(endpoints.Base(Endpoint::TestIp138), u"http://ip138.test:4200"_s);
  EXPECT_EQ(endpoints.Url(Endpoint::Judge, {}), u"http://127.0.0.9:4300/get?show_env=1"_s);
  EXPECT_EQ(endpoints.Base(Endpoint::Xicidaili), Endpoints::DefaultBase(Endpoint::Xicidaili));
  EXPECT_EQ(endpoints.Problems(),
            QStringList({u"no_such_service=http://127.0.0.1:1"_s, u"xicidaili=not a url"_s,
                         u"just text"_s}));
}

TEST(Endpoints, MissingFileMeansDefaults) {
  test::TempProgramDir dir;
  const Endpoints endpoints(dir.Dir());
  EXPECT_EQ(endpoints.Base(Endpoint::InfoJuhe), Endpoints::DefaultBase(Endpoint::InfoJuhe));
  EXPECT_TRUE(endpoints.Problems().isEmpty());
}

}  // namespace
}  // namespace ph
