#include "console/script_front_end.h"

#include "console/check_input.h"
#include "core/proxy_list.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(ProgressLineTest, CountsRateAndTimeLeft) {
  EXPECT_EQ(ProgressLine(Job::kValidation, 0, 10000, 0, 0),
            u"已验证 0/10000 (0%) 成功 0  0 个/秒  剩余 --:--"_s);
  EXPECT_EQ(ProgressLine(Job::kValidation, 2500, 10000, 37, 5.0),
            u"已验证 2500/10000 (25%) 成功 37  500 个/秒  剩余 0:15"_s);
  EXPECT_EQ(ProgressLine(Job::kValidation, 1, 4000, 0, 1.0),
            u"已验证 1/4000 (0%) 成功 0  1 个/秒  剩余 1:06:39"_s);
  EXPECT_EQ(ProgressLine(Job::kHarvest, 3, 7, 12000, 6.0),
            u"采集 3/7  地址 12000  2000 个/秒  剩余 0:08"_s);
}

TEST(ProgressBarTest, FillsItsWidthByTheShareDone) {
  EXPECT_EQ(ProgressBar(0, 0, 10), u"[----------]"_s);
  EXPECT_EQ(ProgressBar(5, 10, 10), u"[#####-----]"_s);
  EXPECT_EQ(ProgressBar(10, 10, 4), u"[####]"_s);
  EXPECT_EQ(ProgressBar(12, 10, 4), u"[####]"_s);  // never past its width
}

TEST(CheckInputTest, ReadsAddressesAsPublicListsAreReadEachOnce) {
  const CheckInput input = AddressesIn(
      "1.2.3.4:80 and socks5://5.6.7.8:1080, https://9.9.9.9:443\n1.2.3.4:80\n"
      "user:pw@7.7.7.7:80 300.1.1.1:80 ftp://8.8.8.8:21 socks4a://4.4.4.4:4145",
      false);
  EXPECT_EQ(input.addresses, (std::vector<QString>{u"1.2.3.4:80"_s, u"socks5://5.6.7.8:1080"_s,
                                                   u"9.9.9.9:443"_s, u"socks4://4.4.4.4:4145"_s}));
  EXPECT_TRUE(input.note.isEmpty());
  EXPECT_TRUE(input.problem.isEmpty());
}

TEST(CheckInputTest, ACutTextLosesItsLastWordAndSaysSo) {
  const CheckInput input = AddressesIn("1.2.3.4:80\n5.6.7.8:10", true);
  EXPECT_EQ(input.addresses, std::vector<QString>{u"1.2.3.4:80"_s});
  EXPECT_TRUE(input.note.contains(u"只读取前"_s));
}

}  // namespace
}  // namespace ph
