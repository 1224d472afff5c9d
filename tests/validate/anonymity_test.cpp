#include "validate/anonymity.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/child_servers.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/probe_once.h"
#include "validate/judge.h"
#include "validate/probe.h"
#include "validate/validation_run.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

uint32_t Ip(const char* text) {
  in_addr address{};
  inet_pton(AF_INET, text, &address);
  return ntohl(address.s_addr);
}

TEST(OwnAddress, IsTheOriginTheJudgeSawOrElseItsFirstAddress) {
  EXPECT_EQ(OwnAddress(R"({"headers": {"Host": "127.0.0.9:80", "X-Forwarded-For": "9.9.9.9"},)"
                       R"( "origin": "1.2.3.4"})"),
            Ip("1.2.3.4"));
  EXPECT_EQ(OwnAddress("REMOTE_ADDR = 5.6.7.8\nHTTP_HOST = judge.test"), Ip("5.6.7.8"));
  EXPECT_EQ(OwnAddress(R"({"origin": "2001:db8::1"})"), std::nullopt);
  EXPECT_EQ(OwnAddress(""), std::nullopt);
}

struct LevelCase {
  const char* name;
  std::string echo;
  std::string direct;  // what the judge showed without a proxy
  std::string level;
};

void PrintTo(const LevelCase& c, std::ostream* out) { *out << c.name; }

class AnonymityLevelTest : public ::testing::TestWithParam<LevelCase> {};

// The machine is 1.2.3.4, the proxy 5.6.7.8.
TEST_P(AnonymityLevelTest, ClassifiesByWhatTheJudgeSaw) {
  const LevelCase& c = GetParam();
  EXPECT_EQ(AnonymityLevel(c.echo, Ip("1.2.3.4"), c.direct), c.level);
}

const std::string kDirect = R"({"headers": {"Host": "judge.test"}, "origin": "1.2.3.4"})";

INSTANTIATE_TEST_SUITE_P(
    Echoes, AnonymityLevelTest,
    ::testing::Values(
        LevelCase{"OwnAddressInAHeader",
                  R"({"headers": {"X-Tinyproxy": "1.2.3.4", "Via": "1.1 p"}, "origin": "5.6.7.8"})",
                  kDirect, kTransparentLevel},
        LevelCase{"OwnAddressAmongOthers", R"({"origin": "1.2.3.4, 5.6.7.8"})", kDirect,
                  kTransparentLevel},
        LevelCase{"ViaAsJson", R"({"headers": {"Via": "1.1 p"}, "origin": "5.6.7.8"})", kDirect,
                  kAnonymousLevel},
        LevelCase{"ProxyHeaderAsSent", "Host: judge.test\r\nx-real-ip: 9.9.9.9\r\n\r\n5.6.7.8",
                  kDirect, kAnonymousLevel},
        LevelCase{"ProxyHeaderAsEnvironment",
                  "REMOTE_ADDR = 5.6.7.8\nHTTP_X_FORWARDED_FOR = 9.9.9.9\n", kDirect,
                  kAnonymousLevel},
        LevelCase{"NothingGivesTheProxyAway",
                  R"({"headers": {"User-Agent": "sent via app", "X-Forwarded-Host": "x"},)"
                  R"( "origin": "5.6.7.8"})",
                  kDirect, kEliteLevel},
        LevelCase{"AHeaderTheJudgeAddsItselfCountsForNothing",
                  R"({"headers": {"X-Forwarded-For": "5.6.7.8"}, "origin": "5.6.7.8"})",
                  R"({"headers": {"X-Forwarded-For": "1.2.3.4"}, "origin": "1.2.3.4"})",
                  kEliteLevel},
        LevelCase{"OwnAddressOnlyInsideALongerOne", R"({"origin": "11.2.3.45"})", kDirect,
                  kEliteLevel},
        LevelCase{"NoAddressIsNoJudgesAnswer", "<h1>Unable to connect</h1>", kDirect, ""}),
    [](const ::testing::TestParamInfo<LevelCase>& info) { return std::string(info.param.name); });

// Real proxies on loopback whose outgoing connections leave from their own addresses, and a
// judge on yet another one: the judge sees the machine as 127.0.0.1 and each proxy apart.
class JudgedRunTest : public ::testing::Test {
 protected:
  JudgedRunTest() {
    target.Set("/ic.asp", {200, "<p>[127.0.0.1]</p>", "text/html", 0});
    // The word ip138 makes the probe look for "[".
    test_url = QString::fromStdString(target.Url("/ic.asp")) + u"#ip138"_s;
  }
  ~JudgedRunTest() override {
    if (runs) test::WaitFor([&] { return runs->ProbesInFlight() == 0; }, 10000);
  }

  // A program state whose test page is the target and whose judge is judge_url.
  void Start(const std::string& judge_url) {
    dir.Write(u"endpoints.ini"_s,
              ("test_ip138=" + test_url.toStdString() + "\njudge=" + judge_url + "\n").c_str());
    state = std::make_unique<AppState>(window, dir.Dir());
    log = std::make_unique<test::StatusLog>(state->StatusBar());
    state->Startup();
    state->Config().SetCheck(&SettingsPanel::Check10, 1);
    runs = std::make_unique<ValidationRuns>(*state);
  }
  void ValidateAll() {
    runs->ValidateAll();
    ASSERT_TRUE(test::WaitFor([&] { return !runs->TestRunning(); }, 20000));
  }
  QString Cell(int row, int cell) { return state->List().CellText(row, cell); }

  test::TempProgramDir dir;
  test::PageServer target;
  QString test_url;
  test::FakeWindow window;
  std::unique_ptr<AppState> state;
  std::unique_ptr<test::StatusLog> log;
  std::unique_ptr<ValidationRuns> runs;
};

TEST_F(JudgedRunTest, TinyproxyConfiguredThreeWaysIsClassifiedThreeWays) {
  test::JudgeServer judge;
  const auto transparent = test::StartTinyproxy(dir, u"Bind 127.0.0.2\nXTinyproxy Yes"_s);
  const auto anonymous = test::StartTinyproxy(dir, u"Bind 127.0.0.3"_s);
  const auto elite = test::StartTinyproxy(dir, u"Bind 127.0.0.4\nDisableViaHeader Yes"_s);
  for (const auto* proxy : {&transparent, &anonymous, &elite})
    ASSERT_TRUE((*proxy)->Started()) << "tinyproxy is installed by scripts/test";
  Start(judge.Url());
  for (const auto* proxy : {&transparent, &anonymous, &elite})
    state->List().AppendRow({(*proxy)->Address(), {}, u"透明(普通)"_s});
  ValidateAll();
  EXPECT_EQ(Cell(1, kProxyType), u"透明"_s);
  EXPECT_EQ(Cell(2, kProxyType), u"普通匿名"_s);
  EXPECT_EQ(Cell(3, kProxyType), u"高匿"_s);
  for (int row = 1; row <= 3; ++row) EXPECT_EQ(Cell(row, kTestResult), u"成 功"_s);
  EXPECT_EQ(judge.Requests(), 4);  // once directly, once through each proxy
}

TEST_F(JudgedRunTest, ASilentJudgeLeavesTheLevelAloneAndSaysSoOnce) {
  test::SilentServer judge;
  const auto proxy = test::StartTinyproxy(dir);
  ASSERT_TRUE(proxy->Started());
  Start("http://" + judge.Address() + "/get");
  state->Config().SetText(&SettingsPanel::Text2, u"500"_s);
  state->ApplySettings();
  state->List().AppendRow({proxy->Address(), {}, u"高匿"_s});
  state->List().AppendRow({proxy->Address()});
  ValidateAll();
  for (int row = 1; row <= 2; ++row) EXPECT_EQ(Cell(row, kTestResult), u"成 功"_s);
  EXPECT_EQ(Cell(1, kProxyType), u"高匿"_s);
  EXPECT_EQ(Cell(2, kProxyType), u""_s);
  EXPECT_EQ(log->history.count(u"匿名度判断页没有应答或没有给出本机地址,本次验证不检测匿名度"_s),
            1);
}

TEST(AnonymityJudge, ASilentJudgeNeverChangesTheProbesRecord) {
  test::PageServer target;
  target.Set("/ic.asp", {200, "<p>[127.0.0.1]</p>", "text/html", 0});
  test::FakeProxy proxy;
  test::SilentServer silent;
  ProbeSettings settings;
  settings.test_http = true;
  settings.timeout_ms = 300;
  settings.http_url = QString::fromStdString(target.Url("/ic.asp")) + u"#ip138"_s;
  const auto judge = std::make_shared<AnonymityJudge>(
      QString::fromStdString("http://" + silent.Address() + "/get"));
  const QString address = QString::fromStdString(proxy.Address());
  const std::string judged = test::ProbeOnce(address, 3, settings, judge);
  const std::string plain = test::ProbeOnce(address, 3, settings);
  // The record apart from what the clock writes: the time taken and the time of day.
  const auto without_time = [](const std::string& record) {
    const std::string kept =
        record.substr(0, record.find(";timeout=")) + record.substr(record.find(";http="));
    return kept.substr(0, kept.find(";time=")) + kept.substr(kept.find(";error="));
  };
  EXPECT_EQ(without_time(judged), without_time(plain));
  EXPECT_EQ(judged.find("anon="), std::string::npos);
  EXPECT_TRUE(judge->TakeFailureNotice());
  EXPECT_FALSE(judge->TakeFailureNotice());
}

}  // namespace
}  // namespace ph
