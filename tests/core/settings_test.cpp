#include "core/settings.h"

#include "core/app_state.h"
#include "support/fake_window.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QString kThreadRefusal = u"线程设置范围应在 1-100 ,请重新设置!"_s;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : state(window, dir.Dir()) { state.Startup(); }

  Settings& settings() { return state.Config(); }
  const WorkingValues& working() { return settings().Working(); }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  test::StatusLog log{state.StatusBar()};
};

TEST_F(SettingsTest, StartUpAppliesTheDefaults) {
  EXPECT_EQ(working().TestThreads, 100);
  EXPECT_EQ(working().TestTimeoutMs, 5000);
  EXPECT_EQ(working().HarvestPages, 5);
  EXPECT_EQ(working().UpdateIntervalSec, 300);
  EXPECT_EQ(working().RetestIntervalSec, 600);
  EXPECT_TRUE(working().TestHttp);
  EXPECT_FALSE(working().TestHttps);
  EXPECT_TRUE(working().HttpTestUrl.endsWith("/ic.asp"_L1));
  EXPECT_TRUE(working().HttpTestUrl.contains("ip138"_L1));
  EXPECT_TRUE(working().HttpsTestUrl.startsWith("https://"_L1));
  EXPECT_TRUE(working().HttpsTestUrl.contains("baidu"_L1));
  EXPECT_TRUE(working().HttpMatchText.isEmpty());
  EXPECT_TRUE(working().HttpsMatchText.isEmpty());
  EXPECT_FALSE(log.menu_visible.at(MenuItem::StopGet));
  EXPECT_FALSE(log.menu_visible.at(MenuItem::StopTest));
  EXPECT_TRUE(log.history.isEmpty());

  const auto probe = settings().ProbeSlot()->Get();
  EXPECT_TRUE(probe->test_http);
  EXPECT_EQ(probe->timeout_ms, 5000);
  EXPECT_EQ(probe->http_url, working().HttpTestUrl);
}

TEST_F(SettingsTest, AThreadCountOutsideOneToHundredAppliesNothing) {
  settings().SetText(&SettingsPanel::Text2, u"7000"_s);
  settings().SetText(&SettingsPanel::Text1, u"9"_s);
  for (const QString& threads : {u"0"_s, u"101"_s, u"abc"_s, u"-5"_s, u"0.4"_s}) {
    log.history.clear();
    settings().SetText(&SettingsPanel::Text3, threads);
    state.ApplySettings();
    EXPECT_EQ(log.history, QStringList{kThreadRefusal}) << threads.toStdString();
    EXPECT_EQ(working().TestThreads, 100);
    EXPECT_EQ(working().TestTimeoutMs, 5000);
    EXPECT_EQ(working().HarvestPages, 5);
  }
}

TEST_F(SettingsTest, AcceptedCountsRoundHalfToEven) {
  const struct {
    QString text;
    int expected;
  } cases[] = {{u"100"_s, 100}, {u"1"_s, 1}, {u"2.5"_s, 2}, {u"3.5"_s, 4}, {u" 5 0"_s, 50}};
  for (const auto& c : cases) {
    settings().SetText(&SettingsPanel::Text3, c.text);
    state.ApplySettings();
    EXPECT_EQ(working().TestThreads, c.expected) << c.text.toStdString();
  }
  EXPECT_TRUE(log.history.isEmpty());
}

TEST_F(SettingsTest, OtherFieldsHaveNoRangeTest) {
  settings().SetText(&SettingsPanel::Text2, u"abc"_s);
  settings().SetText(&SettingsPanel::Text1, u"-3"_s);
  settings().SetText(&SettingsPanel::Text11, u"12.5"_s);
  settings().SetText(&SettingsPanel::Text13, u"99999999999"_s);
  state.ApplySettings();
  EXPECT_EQ(working().TestTimeoutMs, 0);
  EXPECT_EQ(working().HarvestPages, -3);
  EXPECT_EQ(working().UpdateIntervalSec, 12);
  EXPECT_EQ(working().RetestIntervalSec, 2147483647);  // held at the limit, never wrapped
}

TEST_F(SettingsTest, TestModeTakesEffectOnSelection) {
  settings().SelectOtn(1);
  EXPECT_FALSE(working().TestHttp);
  EXPECT_TRUE(working().TestHttps);
  EXPECT_TRUE(settings().ProbeSlot()->Get()->test_https);
  settings().SelectOtn(2);
  EXPECT_TRUE(working().TestHttp);
  EXPECT_TRUE(working().TestHttps);
  settings().SelectOtn(0);
  EXPECT_TRUE(working().TestHttp);
  EXPECT_FALSE(working().TestHttps);
}

TEST_F(SettingsTest, TargetChoicesWaitForApply) {
  const QString http_before = working().HttpTestUrl;
  settings().SelectGtn(0);
  settings().SelectGtn(5);
  EXPECT_EQ(working().HttpTestUrl, http_before);
  EXPECT_EQ(settings().Panel().GtnHttp, 0);
  EXPECT_EQ(settings().Panel().GtnHttps, 5);
  state.ApplySettings();
  EXPECT_TRUE(working().HttpTestUrl.endsWith("/iplookup/iplookup.php?format=js&ip="_L1));
  EXPECT_TRUE(working().HttpsTestUrl.contains("weibo"_L1));
  settings().SelectGtn(2);
  settings().SelectGtn(3);
  state.ApplySettings();
  EXPECT_TRUE(working().HttpTestUrl.endsWith("/getip.aspx"_L1));
  EXPECT_TRUE(working().HttpsTestUrl.contains("taobao"_L1));
}

TEST_F(SettingsTest, CustomTargetsTakeTheFieldsAndMatchTextsOutliveThem) {
  settings().SetText(&SettingsPanel::Text16, u"http://example.test/a"_s);
  settings().SetText(&SettingsPanel::Text17, u"abc"_s);
  settings().SetText(&SettingsPanel::Text14, u"https://example.test/b"_s);
  settings().SetText(&SettingsPanel::Text15, u"def"_s);
  settings().SelectGtn(7);
  settings().SelectGtn(6);
  EXPECT_EQ(settings().Panel().GtnHttp, 7);
  state.ApplySettings();
  EXPECT_EQ(working().HttpTestUrl, u"http://example.test/a"_s);
  EXPECT_EQ(working().HttpMatchText, u"abc"_s);
  EXPECT_EQ(working().HttpsTestUrl, u"https://example.test/b"_s);
  EXPECT_EQ(working().HttpsMatchText, u"def"_s);

  settings().SelectGtn(1);
  settings().SelectGtn(4);
  state.ApplySettings();
  EXPECT_TRUE(working().HttpTestUrl.contains("ip138"_L1));
  EXPECT_EQ(working().HttpMatchText, u"abc"_s);
  EXPECT_EQ(working().HttpsMatchText, u"def"_s);
  EXPECT_EQ(settings().ProbeSlot()->Get()->https_match_text, u"def"_s);
}

TEST_F(SettingsTest, PlaceholderClearingOnlyTouchesPlaceholders) {
  settings().ClearPlaceholder(&SettingsPanel::Text14);
  EXPECT_TRUE(settings().Panel().Text14.isEmpty());
  settings().SetText(&SettingsPanel::Text16, u"http://mine.test/输入自定义URL"_s);
  settings().ClearPlaceholder(&SettingsPanel::Text16);
  EXPECT_TRUE(settings().Panel().Text16.isEmpty());
  settings().SetText(&SettingsPanel::Text16, u"http://mine.test/"_s);
  settings().ClearPlaceholder(&SettingsPanel::Text16);
  EXPECT_EQ(settings().Panel().Text16, u"http://mine.test/"_s);
  settings().ClearPlaceholder(&SettingsPanel::Text15);
  EXPECT_TRUE(settings().Panel().Text15.isEmpty());
  settings().ClearPlaceholder(&SettingsPanel::Text3);  // not a placeholder field
  EXPECT_EQ(settings().Panel().Text3, u"100"_s);
}

TEST(SettingsEndpoints, ABrokenIniIsReportedOnceAtStartUp) {
  test::FakeWindow window;
  test::TempProgramDir dir;
  dir.Write(u"endpoints.ini"_s, "test_baidu=https://baidu.test:9\nbogus\n");
  AppState state(window, dir.Dir());
  test::StatusLog log(state.StatusBar());
  state.Startup();
  ASSERT_EQ(log.history.size(), 1);
  EXPECT_TRUE(log.history[0].contains("bogus"_L1));
  EXPECT_EQ(state.Config().Working().HttpsTestUrl, u"https://baidu.test:9/"_s);
}

}  // namespace
}  // namespace ph
