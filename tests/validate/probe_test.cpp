#include "validate/probe.h"
#include "support/probe_once.h"

#include "core/gbk.h"
#include "support/http_fixtures.h"
#include "support/sandbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// A page whose first "[" is the 37th character.
const std::string kIp138Page = std::string(36, 'x') + "[1.2.3.4]";

class ProbeTest : public ::testing::Test {
 protected:
  ProbeTest() {
    target.Set("/ic.asp", {200, kIp138Page, "text/html", 0});
    target.Set("/plain", {200, std::string(50, 'y'), "text/html", 0});
    target.Set("/forbidden", {403, "blocked but [listed]", "text/html", 0});
    settings.test_http = true;
    settings.timeout_ms = 3000;
    settings.http_url = HostUrl("ip138.test", target.Port(), "/ic.asp");
  }

  static QString HostUrl(const std::string& host, uint16_t port, const std::string& path,
                         const std::string& scheme = "http") {
    return QString::fromStdString(scheme + "://" + host + ":" + std::to_string(port) + path);
  }
  QString ProxyAddress() const { return QString::fromStdString(proxy.Address()); }

  test::PageServer target;
  test::FakeProxy proxy;
  ProbeSettings settings;
};

std::string Field(const std::string& record, const std::string& key) {
  const std::size_t at = record.find(key + "=");
  if (at == std::string::npos) return "Nothing";
  const std::size_t begin = at + key.size() + 1;
  return record.substr(begin, record.find(';', begin) - begin);
}

TEST_F(ProbeTest, ASuccessIsTheSuccessFormWithTheMatchPosition) {
  const std::string record = test::ProbeOnce(ProxyAddress(), 5, settings);
  EXPECT_THAT(record, MatchesRegex("lvid=5;suc=37;statu=200;timeout=[0-9]+;http=True;https=False;"
                                   "time=[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9];"
                                   "error=;errnum=0;"));
  EXPECT_EQ(proxy.Gets(), 1);
}

TEST_F(ProbeTest, APageWithoutTheMatchTextIsSucZero) {
  settings.http_url = HostUrl("ip138.test", target.Port(), "/plain");
  const std::string record = test::ProbeOnce(ProxyAddress(), 1, settings);
  EXPECT_EQ(Field(record, "suc"), "0");
  EXPECT_EQ(Field(record, "statu"), "200");
  EXPECT_EQ(Field(record, "http"), "True");
  EXPECT_EQ(Field(record, "errnum"), "0");
}

TEST_F(ProbeTest, AnAnswerOverOneMebibyteIsAFailureNotHeldInMemory) {
  // A test page is kilobytes; a hostile proxy's answer of megabytes is not kept.
  const struct {
    std::string path;
    std::size_t bytes;
    const char* suc;
    const char* errnum;
  } cases[] = {
      {"/half", 512 * 1024, "524289", "0"},
      {"/whole", 1024 * 1024 - 9, "1048568", "0"},
      {"/two", 2 * 1024 * 1024, "0", "23"},
      {"/eight", 8 * 1024 * 1024, "0", "23"},
  };
  for (const auto& c : cases) {
    target.Set(c.path, {200, std::string(c.bytes, 'x') + "[1.2.3.4]", "text/html", 0});
    settings.http_url = HostUrl("ip138.test", target.Port(), c.path);
    const std::string record = test::ProbeOnce(ProxyAddress(), 1, settings);
    EXPECT_EQ(Field(record, "suc"), c.suc) << c.path;
    EXPECT_EQ(Field(record, "errnum"), c.errnum) << c.path;
  }
}

TEST_F(ProbeTest, TheStatusIsRecordedButNotJudged) {
  settings.http_url = HostUrl("ip138.test", target.Port(), "/forbidden");
  const std::string record = test::ProbeOnce(ProxyAddress(), 1, settings);
  EXPECT_EQ(Field(record, "statu"), "403");
  EXPECT_EQ(Field(record, "suc"), "13");
}

TEST_F(ProbeTest, ARefusedProxyGivesTheErrorForm) {
  const QString closed = u"127.0.0.1:%1"_s.arg(test::ClosedPort());
  const std::string record = test::ProbeOnce(closed, 9, settings);
  EXPECT_THAT(record, MatchesRegex("lvid=9;suc=0;statu=0;timeout=[0-9]+;http=False;https=False;"
                                   "time=[^;]+;error=[^;]+;errnum=7;"));
}

TEST_F(ProbeTest, AProxyThatAcceptsAndNeverAnswersEndsAtTheTimeOut) {
  test::SilentServer silent;
  settings.timeout_ms = 700;
  std::string record;
  const long long ms = test::TimeMs(
      [&] { record = test::ProbeOnce(QString::fromStdString(silent.Address()), 2, settings); });
  EXPECT_GE(ms, 650);
  EXPECT_LT(ms, 2500);
  EXPECT_EQ(Field(record, "errnum"), "28");
  EXPECT_EQ(Field(record, "statu"), "0");
  EXPECT_GE(std::stol(Field(record, "timeout")), 650);
}

TEST_F(ProbeTest, HttpsGoesThroughConnectAndIgnoresTheSelfSignedCertificate) {
  test::TlsPageServer tls({200, "<!DOCTYPE html><html><body>home</body></html>", "text/html", 0});
  settings.test_http = false;
  settings.test_https = true;
  settings.https_url = HostUrl("www.baidu.test", tls.Port(), "/", "https");
  const std::string record = test::ProbeOnce(ProxyAddress(), 3, settings);
  EXPECT_EQ(Field(record, "suc"), "16");
  EXPECT_EQ(Field(record, "https"), "True");
  EXPECT_EQ(Field(record, "http"), "False");
  EXPECT_EQ(Field(record, "errnum"), "0");
  EXPECT_EQ(proxy.Connects(), 1);
}

TEST_F(ProbeTest, BothTestsGiveTheHttpsPosition) {
  test::TlsPageServer tls({200, "abc<html>", "text/html", 0});
  settings.test_https = true;
  settings.https_url = HostUrl("www.baidu.test", tls.Port(), "/", "https");
  const std::string record = test::ProbeOnce(ProxyAddress(), 3, settings);
  EXPECT_EQ(Field(record, "suc"), "4");
  EXPECT_EQ(Field(record, "http"), "True");
  EXPECT_EQ(Field(record, "https"), "True");
}

TEST_F(ProbeTest, AFailingHttpsLegKeepsTheHttpMatchPosition) {
  settings.test_https = true;
  settings.https_url = HostUrl("www.baidu.test", test::ClosedPort(), "/", "https");
  const std::string record = test::ProbeOnce(ProxyAddress(), 4, settings);
  EXPECT_THAT(record, MatchesRegex("lvid=4;suc=37;statu=0;timeout=[0-9]+;http=True;https=False;"
                                   "time=[^;]+;error=[^;]+;errnum=[1-9][0-9]*;"));
}

TEST_F(ProbeTest, AnAddressWithoutColonUsesNoProxy) {
  settings.http_url = QString::fromStdString(target.Url("/ic.asp")) + u"?ip138"_s;
  target.Set("/ic.asp?ip138", {200, kIp138Page, "text/html", 0});
  for (const QString& address : {u""_s, u"no-colon-here"_s}) {
    const std::string record = test::ProbeOnce(address, 1, settings);
    EXPECT_EQ(Field(record, "suc"), "37") << record;
  }
  EXPECT_EQ(proxy.Gets(), 0);
}

TEST_F(ProbeTest, TheMatchTextFollowsTheWordsInTheUrl) {
  EXPECT_EQ(HttpMatchTextFor(u"http://int.dpool.sina.com.cn/x"_s, u"c"_s), u"remote_ip_info"_s);
  EXPECT_EQ(HttpMatchTextFor(u"http://ip138.sina.test/"_s, u"c"_s), u"remote_ip_info"_s);
  EXPECT_EQ(HttpMatchTextFor(u"http://ip.chinaz.com/getip.aspx"_s, u"c"_s), u"address"_s);
  EXPECT_EQ(HttpMatchTextFor(u"http://example.test/"_s, u"custom"_s), u"custom"_s);
  EXPECT_EQ(HttpMatchTextFor(u"http://IP138.test/"_s, u"custom"_s), u"custom"_s);
  EXPECT_EQ(HttpsMatchTextFor(u"https://www.taobao.com/"_s, u"c"_s), u"alicdn"_s);
  EXPECT_EQ(HttpsMatchTextFor(u"https://weibo.com/"_s, u"c"_s), u"<html>"_s);
  EXPECT_EQ(HttpsMatchTextFor(u"https://example.test/"_s, u"c"_s), u"c"_s);
}

TEST_F(ProbeTest, ACustomUrlWithABuiltInWordIsJudgedByTheBuiltInText) {
  test::TlsPageServer tls({200, "cdn: alicdn.example", "text/html", 0});
  settings.test_http = false;
  settings.test_https = true;
  settings.https_url = HostUrl("mirror.taobao.test", tls.Port(), "/", "https");
  settings.https_match_text = u"not on the page"_s;
  EXPECT_EQ(Field(test::ProbeOnce(ProxyAddress(), 1, settings), "suc"), "6");
}

TEST_F(ProbeTest, CustomMatchTextsAreSearchedInTheDecodedPage) {
  target.Set("/gbk", {200, ToGbk(u"ab中文"_s).toStdString(), "text/html; charset=gbk", 0});
  settings.http_url = HostUrl("custom.test", target.Port(), "/gbk");
  settings.http_match_text = u"中文"_s;
  EXPECT_EQ(Field(test::ProbeOnce(ProxyAddress(), 1, settings), "suc"), "3");
  settings.http_match_text = u""_s;  // an empty match text matches any non-empty page
  EXPECT_EQ(Field(test::ProbeOnce(ProxyAddress(), 1, settings), "suc"), "1");
}

TEST_F(ProbeTest, NoTestSelectedIsAnErrorBeforeTheClockStarts) {
  settings.test_http = false;
  const std::string record = test::ProbeOnce(ProxyAddress(), 6, settings);
  EXPECT_THAT(record, MatchesRegex("lvid=6;suc=0;statu=0;timeout=0;http=False;https=False;"
                                   "time=[^;]+;error=no test selected;errnum=-1;"));
  EXPECT_EQ(proxy.Gets(), 0);
}

TEST_F(ProbeTest, RecordsHoldNoLineBreaks) {
  // The address goes into libcurl's error text, line breaks and all.
  const std::string record = test::ProbeOnce(u"127.0.0.1\r\r\n\n:1"_s, 1, settings);
  EXPECT_EQ(record.find('\r'), std::string::npos) << record;
  EXPECT_EQ(record.find('\n'), std::string::npos) << record;
  EXPECT_THAT(record, HasSubstr(";errnum="));
}

TEST_F(ProbeTest, AProxyThatTricklesItsAnswerEndsWithinTwiceTheTimeOut) {
  test::StreamServer trickle("[", 300);  // never silent for as long as the time-out
  settings.timeout_ms = 500;
  std::string record;
  const long long ms = test::TimeMs(
      [&] { record = test::ProbeOnce(QString::fromStdString(trickle.Address()), 2, settings); });
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 1800);
  EXPECT_EQ(Field(record, "errnum"), "28");
  EXPECT_EQ(Field(record, "statu"), "0");
  EXPECT_EQ(Field(record, "suc"), "0");
}

TEST_F(ProbeTest, AStopEndsAProbeUnderWayWithoutARecord) {
  test::StreamServer trickle("[", 50);
  test::SilentServer silent;
  settings.timeout_ms = 5000;
  for (const std::string& address : {trickle.Address(), silent.Address()}) {
    std::string record = "unset";
    const long long ms = test::TimeMs([&] {
      record = test::ProbeOnce(QString::fromStdString(address), 2, settings, nullptr, 300);
    });
    EXPECT_EQ(record, "");
    EXPECT_LT(ms, 300 + 150) << address;
  }
}

}  // namespace
}  // namespace ph
