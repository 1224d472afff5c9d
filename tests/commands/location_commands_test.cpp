#include "commands/location_commands.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "core/settings.h"
#include "support/fake_window.h"
#include "support/ip_services.h"
#include "support/list_rows.h"

#include <gtest/gtest.h>

#include <QTimer>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::Gbk;

// The two commands, on a whole program state.
class IpLocationCommandTest : public test::IpServicesTest {
 protected:
  IpLocationCommandTest() : state(window, dir.Dir()) {}

  ProxyList& list() { return state.List(); }
  void AddRow(const QString& address, const QString& region) {
    const int row = list().AppendRow({address});
    test::SetCell(list(), row, kRegion, region);
  }
  QString Region(int row) { return list().CellText(row, kRegion); }
  // Runs 检查地址 until it says it is done.
  void CheckAndWait() {
    const qsizetype before = log.history.count(kDone);
    CheckAddresses(state);
    ASSERT_TRUE(test::WaitFor([&] { return log.history.count(kDone) > before; }, 10000));
  }

  const QString kDone = u"数据验证完成..."_s;

  test::FakeWindow window;
  AppState state;
  test::StatusLog log{state.StatusBar()};
};

TEST_F(IpLocationCommandTest, GotoAdrsFillsOnlyRegionsOfBlanksAndTabs) {
  WriteDatabase();
  AddRow(u"1.0.0.1:80"_s, u""_s);
  AddRow(u"1.0.0.2:8080"_s, u" \t \t"_s);
  AddRow(u"1.0.0.3:80"_s, u"已有 地区"_s);
  AddRow(u"1.0.0.4"_s, u""_s);  // no port, no ":"
  AddRow(u"just text"_s, u"\t"_s);
  AddRow(u"2.0.0.5:3128:extra"_s, u""_s);
  AddRow(u"socks5://1.0.0.6:1080"_s, u""_s);  // the scheme is no host
  CheckAndWait();
  EXPECT_EQ(Region(1), u"北京市 联通"_s);
  EXPECT_EQ(Region(2), u"北京市 联通"_s);
  EXPECT_EQ(Region(3), u"已有 地区"_s);
  EXPECT_EQ(Region(4), u""_s);
  EXPECT_EQ(Region(5), u"\t"_s);
  EXPECT_EQ(Region(6), u"广东省 "_s);
  EXPECT_EQ(Region(7), u"北京市 联通"_s);
  EXPECT_EQ(state.StatusBar().Text(), u"数据验证完成..."_s);
  EXPECT_EQ(server.Requests(), 0);
}

TEST_F(IpLocationCommandTest, GotoAdrsOnTheWebSkipsRowsItHasFilledBefore) {
  server.Set("/ipquery?ip=1.2.3.4", Gbk(uR"(lo="广东省", lc="深圳市")"_s));
  AddRow(u"1.2.3.4:80"_s, u""_s);
  AddRow(u"9.9.9.9:80"_s, u""_s);
  CheckAndWait();
  EXPECT_EQ(Region(1), u"广东省 深圳市"_s);
  EXPECT_EQ(Region(2), u"Nothing Nothing"_s);
  EXPECT_EQ(server.Requests(), 2);
  CheckAndWait();
  EXPECT_EQ(server.Requests(), 2);
  EXPECT_EQ(log.history.count(u"数据验证完成..."_s), 2);
}

TEST_F(IpLocationCommandTest, GotoAdrsCopesWithRowsRemovedWhileItWaits) {
  server.Set("/ipquery?ip=1.2.3.4", {200, R"(lo="a", lc="b")", "text/plain", 300});
  for (int i = 0; i < 3; ++i) AddRow(u"1.2.3.4:80"_s, u""_s);
  QTimer::singleShot(50, [this] { list().Clear(); });
  CheckAndWait();
  EXPECT_EQ(list().RowCount(), 0);
  EXPECT_EQ(server.Requests(), 1);
  EXPECT_EQ(state.StatusBar().Text(), u"数据验证完成..."_s);
}

TEST_F(IpLocationCommandTest, ALocationGoesOnlyIntoTheRowWhoseAddressWasLookedUp) {
  server.Set("/ipquery?ip=1.1.1.1", {200, R"(lo="一", lc="甲")", "text/plain", 300});
  server.Set("/ipquery?ip=2.2.2.2", {200, R"(lo="二", lc="乙")", "text/plain", 0});
  AddRow(u"1.1.1.1:80"_s, u""_s);
  AddRow(u"2.2.2.2:80"_s, u""_s);
  AddRow(u"3.3.3.3:80"_s, u"已有"_s);
  // Row 1 goes while its lookup waits; 2.2.2.2 moves up into its place.
  QTimer::singleShot(50, [this] { test::RemoveRow(list(), 1); });
  CheckAndWait();
  ASSERT_EQ(list().RowCount(), 2);
  EXPECT_EQ(Region(1), u"二 乙"_s);
  EXPECT_EQ(Region(2), u"已有"_s);
  EXPECT_EQ(server.Requests(), 2);
}

TEST_F(IpLocationCommandTest, ARegionFilledMeanwhileIsKept) {
  server.Set("/ipquery?ip=1.1.1.1", {200, R"(lo="一", lc="甲")", "text/plain", 300});
  AddRow(u"1.1.1.1:80"_s, u""_s);
  QTimer::singleShot(50, [this] { test::SetCell(list(), 1, kRegion, u"用户填写"_s); });
  CheckAndWait();
  EXPECT_EQ(Region(1), u"用户填写"_s);
}

TEST_F(IpLocationCommandTest, Command5ShowsTheExternalAddressAndItsLocation) {
  server.Set("/ic.asp", Gbk(u"您的IP是：[61.140.1.2] 来自：广东省</center>"_s, "text/html"));
  server.Set("/service/getIpInfo.php?ip=61.140.1.2",
             {200, R"({"region":"广东","city":"广州","isp":"电信"})", "application/json", 0});
  ShowExternalAddress(state);
  ASSERT_TRUE(test::WaitFor(
      [&] { return state.Config().Panel().Text9 == u"61.140.1.2 广东 广州 电信"_s; }));
}

TEST_F(IpLocationCommandTest, Command5LooksUpNothingWhenThePageCannotBeRead) {
  ShowExternalAddress(state);
  ASSERT_TRUE(test::WaitFor(
      [&] { return state.Config().Panel().Text9 == u"Nothing Nothing Nothing Nothing"_s; }));
  EXPECT_EQ(LastTarget(), "/service/getIpInfo.php?ip=Nothing");
}

}  // namespace
}  // namespace ph
