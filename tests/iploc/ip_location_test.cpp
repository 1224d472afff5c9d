#include "iploc/ip_location.h"

#include "core/endpoints.h"
#include "core/gbk.h"
#include "support/ip_services.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>

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

struct ServiceCase {
  int16_t service;
  std::string target;  // path and query asked for
  Page answer;
  QString result;
  QString coordinates;  // what coordinates holds afterwards
};

TEST_F(IpLocationTest, EachServiceIsAskedAndCutByItsOwnMarkers) {
  const QString kept = u"unchanged"_s;
  const ServiceCase cases[] = {
      {0,
       "/service/getIpInfo.php?ip=1.2.3.4",
       {200,
        R"({"code":0,"data":{"country":"\u4e2d\u56fd","region":"\u5e7f\u4e1c",)"
        R"("city":"\u6df1\u5733","isp":"\u7535\u4fe1"}})",
        "application/json", 0},
       u"广东 深圳 电信"_s,
       kept},
      {1,
       "/iplookup/iplookup.php?format=js&ip=1.2.3.4",
       {200,
        R"(var remote_ip_info = {"ret":1,"country":"\u4e2d\u56fd","province":"\u5e7f\u4e1c",)"
        R"("city":"\u6df1\u5733","district":""};)",
        "application/javascript", 0},
       u"广东深圳"_s,
       kept},
      {2,
       "/location/ip?ak=Qm7TzR2vLx9NcW4pHs8KdF3jYb6GtE5a&ip=1.2.3.4&coor=bd09ll",
       {200,
        R"({"address":"CN|\u5e7f\u4e1c|\u6df1\u5733","content":{"address":"\u5e7f\u4e1c\u7701)"
        R"(\u6df1\u5733\u5e02","point":{"x":"114.02597366","y":"22.54605355"}},"status":0})",
        "application/json", 0},
       u"广东省深圳市"_s,
       u"22.54605355,114.02597366"_s},
      {3, "/query/?ip=1.2.3.4&datatype=text",
       Gbk(u"1.2.3.4\t中国\t广东\t深圳\t电信"_s, "text/plain; charset=gbk"),
       u"中国\t广东\t深圳\t电信"_s, kept},
      {4,
       "/ip/ip2addr?ip=1.2.3.4&dtype=&key=0f1e2d3c4b5a69788796a5b4c3d2e1f0",
       {200, R"({"resultcode":"200","result":{"area":"广东省深圳市","location":"电信"}})",
        "application/json; charset=utf-8", 0},
       u"广东省深圳市 电信"_s,
       kept},
  };
  for (const ServiceCase& c : cases) {
    SCOPED_TRACE(c.service);
    server.Set(c.target, c.answer);
    QString location = kept;
    QString coordinates = kept;
    EXPECT_EQ(QueryIpInfo(u"1.2.3.4"_s, c.service, location, coordinates, endpoints), c.result);
    EXPECT_EQ(LastTarget(), c.target);
    EXPECT_EQ(location, kept);
    EXPECT_EQ(coordinates, c.coordinates);
  }
}

TEST_F(IpLocationTest, UnansweredServicesGiveNothingForEachPiece) {
  QString location;
  QString coordinates;
  const auto ask = [&](int16_t service) {
    return QueryIpInfo(u"1.2.3.4"_s, service, location, coordinates, endpoints);
  };
  EXPECT_EQ(ask(0), u"Nothing Nothing Nothing"_s);
  EXPECT_EQ(ask(1), u"NothingNothing"_s);
  EXPECT_EQ(ask(2), u"Nothing"_s);
  EXPECT_EQ(coordinates, u"Nothing,Nothing"_s);
  EXPECT_EQ(ask(3), u"Nothing"_s);  // the 404 page has no tab
  EXPECT_EQ(ask(4), u"Nothing Nothing"_s);
}

TEST_F(IpLocationTest, AServiceNumberOutside0To4AsksNobody) {
  for (const int16_t service : {int16_t{5}, int16_t{-1}, int16_t{32767}}) {
    QString location = u"keep"_s;
    QString coordinates = u"keep"_s;
    EXPECT_EQ(QueryIpInfo(u"1.2.3.4"_s, service, location, coordinates, endpoints), u""_s);
    EXPECT_EQ(location, u"keep"_s);
    EXPECT_EQ(coordinates, u"keep"_s);
  }
  EXPECT_EQ(server.Requests(), 0);
}

TEST_F(IpLocationTest, AnEmptyAddressReadsTheExternalAddressWhateverTheService) {
  // The page is read as GBK byte pairs, whatever it declares.
  server.Set("/ic.asp", Gbk(u"<center>您的IP是：[61.140.1.2] 来自：广东省广州市 电信</center>"_s,
                            "text/html"));
  QString location;
  QString coordinates = u"keep"_s;
  EXPECT_EQ(QueryIpInfo({}, 3, location, coordinates, endpoints), u"61.140.1.2"_s);
  EXPECT_EQ(location, u"广东省广州市 电信"_s);
  EXPECT_EQ(coordinates, u"keep"_s);
  EXPECT_EQ(LastTarget(), "/ic.asp");
}

}  // namespace
}  // namespace ph
