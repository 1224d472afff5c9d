#include "iploc/ip_location.h"

#include "core/endpoints.h"
#include "core/gbk.h"
#include "support/ip_services.h"

#include <gtest/gtest.h>

#include <QFile>

#include <optional>
#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::Gbk;
using test::Inline;
using test::Ip;
using test::Page;
using IpLocationTest = test::IpServicesTest;

TEST_F(IpLocationTest, WithoutTheDatabaseThe126ServiceAnswers) {
  server.Set("/ipquery?ip=1.2.3.4", Gbk(uR"(var lo="广东省", lc="深圳市";)"_s));
  EXPECT_EQ(Locate(u"1.2.3.4"_s), u"广东省 深圳市"_s);
  EXPECT_EQ(LastTarget(), "/ipquery?ip=1.2.3.4");
  // An answer without the markers, and no answer at all.
  EXPECT_EQ(Locate(u"5.6.7.8"_s), u"Nothing Nothing"_s);
  PointServicesAt(u"http://127.0.0.1:%1"_s.arg(test::ClosedPort()));
  EXPECT_EQ(Locate(u"1.2.3.4"_s), u"Nothing Nothing"_s);
}

TEST_F(IpLocationTest, TextThatIsNoAddressCannotAddQueryParameters) {
  server.Set("/ipquery?ip=1.2.3.4%26key%3Dx", Gbk(uR"(lo="甲", lc="乙")"_s));
  EXPECT_EQ(Locate(u"1.2.3.4&key=x"_s), u"甲 乙"_s);
}

TEST_F(IpLocationTest, WithTheDatabaseNoRequestIsMade) {
  WriteDatabase(u"QQWRY.DAT"_s);
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u"北京市 联通"_s);
  // One space between the texts, even when one is empty or the lookup fails.
  EXPECT_EQ(Locate(u"2.0.0.7"_s), u"广东省 "_s);
  EXPECT_EQ(Locate(u"2.0.7"_s), u" "_s);
  EXPECT_EQ(server.Requests(), 0);

  test::QQWryBuilder one;
  one.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Inline(u"北京市"_s, u"联通"_s));
  test::WriteDatabaseFile(dir.File(u"QQWRY.DAT"_s), one.Bytes());
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u"未知 "_s);
  test::WriteDatabaseFile(dir.File(u"QQWRY.DAT"_s), "broken");
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u" "_s);
  EXPECT_EQ(server.Requests(), 0);
}

TEST_F(IpLocationTest, TheDatabaseIsLookedForOnEveryCall) {
  server.Set("/ipquery?ip=1.0.0.7", Gbk(uR"(lo="网上", lc="查到")"_s));
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u"网上 查到"_s);
  WriteDatabase();
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u"北京市 联通"_s);
  QFile::rename(dir.File(u"qqwry.dat"_s), dir.File(u"QqWry.Dat"_s));
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u"北京市 联通"_s);
  EXPECT_EQ(server.Requests(), 1);
  QFile::remove(dir.File(u"QqWry.Dat"_s));
  EXPECT_EQ(Locate(u"1.0.0.7"_s), u"网上 查到"_s);
  EXPECT_EQ(server.Requests(), 2);
}

// What the Taobao service says of an address, waited for.
QString AskTaobao(const Endpoints& endpoints) {
  std::optional<QString> info;
  QueryIpInfo(u"1.2.3.4"_s, endpoints, nullptr, [&info](const QString& got) { info = got; });
  test::WaitFor([&] { return info.has_value(); }, 35000);
  return info.value_or(u"no answer"_s);
}

TEST_F(IpLocationTest, TheTaobaoServiceIsAskedAndCutByItsMarkers) {
  EXPECT_EQ(AskTaobao(endpoints), u"Nothing Nothing Nothing"_s);  // not answered: 404
  server.Set("/service/getIpInfo.php?ip=1.2.3.4",
             {200,
              R"({"code":0,"data":{"country":"\u4e2d\u56fd","region":"\u5e7f\u4e1c",)"
              R"("city":"\u6df1\u5733","isp":"\u7535\u4fe1"}})",
              "application/json", 0});
  EXPECT_EQ(AskTaobao(endpoints), u"广东 深圳 电信"_s);
  EXPECT_EQ(LastTarget(), "/service/getIpInfo.php?ip=1.2.3.4");
}

TEST_F(IpLocationTest, TheExternalAddressIsReadFromTheIp138Page) {
  // The page is read as GBK byte pairs, whatever it declares.
  server.Set("/ic.asp", Gbk(u"<center>您的IP是：[61.140.1.2] 来自：广东省广州市 电信</center>"_s,
                            "text/html"));
  std::optional<QString> address;
  QueryExternalAddress(endpoints, nullptr, [&address](const QString& got) { address = got; });
  ASSERT_TRUE(test::WaitFor([&] { return address.has_value(); }));
  EXPECT_EQ(*address, u"61.140.1.2"_s);
  EXPECT_EQ(LastTarget(), "/ic.asp");
}

}  // namespace
}  // namespace ph
