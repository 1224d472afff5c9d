#include "web/web_fetch.h"

#include "core/gbk.h"
#include "support/http_fixtures.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QTimer>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString Url(const test::PageServer& server, const std::string& path) {
  return QString::fromStdString(server.Url(path));
}

TEST(FetchUrl, ReturnsTheBodyOfAnyAnswer) {
  test::PageServer server;
  server.Set("/ok", {200, "hello", "text/plain", 0});
  server.Set("/gone", {404, "<h1>missing</h1>", "text/html", 0});
  EXPECT_EQ(FetchUrl(Url(server, "/ok"), FetchMode::DeclaredCharset), u"hello"_s);
  EXPECT_EQ(FetchUrl(Url(server, "/gone"), FetchMode::DeclaredCharset), u"<h1>missing</h1>"_s);
  EXPECT_EQ(FetchUrl(Url(server, "/unknown"), FetchMode::DeclaredCharset), u"not found"_s);
}

TEST(FetchUrl, DecodesByTheDeclaredCharsetOrAsGbkBytes) {
  test::PageServer server;
  const std::string gbk = ToGbk(u"中文A"_s).toStdString();
  server.Set("/declared", {200, gbk, "text/html; charset=gb2312", 0});
  server.Set("/utf8", {200, "中文", "text/html", 0});
  server.Set("/undeclared", {200, gbk, "text/html", 0});
  server.Set("/broken", {200, "A\xB0", "text/html", 0});
  EXPECT_EQ(FetchUrl(Url(server, "/declared"), FetchMode::DeclaredCharset), u"中文A"_s);
  EXPECT_EQ(FetchUrl(Url(server, "/utf8"), FetchMode::DeclaredCharset), u"中文"_s);
  EXPECT_EQ(FetchUrl(Url(server, "/undeclared"), FetchMode::GbkBytes), u"中文A"_s);
  EXPECT_EQ(FetchUrl(Url(server, "/broken"), FetchMode::GbkBytes), u""_s);
}

TEST(FetchUrl, FailuresGiveEmptyText) {
  EXPECT_EQ(FetchUrl(u"not a url at all"_s, FetchMode::DeclaredCharset), u""_s);
  EXPECT_EQ(FetchUrl(u"ftp://127.0.0.1/x"_s, FetchMode::DeclaredCharset), u""_s);
  const QString refused = u"http://127.0.0.1:%1/"_s.arg(test::ClosedPort());
  EXPECT_EQ(FetchUrl(refused, FetchMode::DeclaredCharset), u""_s);
}

TEST(FetchUrl, AServerThatNeverAnswersEndsAtTheTimeOut) {
  test::SilentServer silent;
  const QString url = u"http://127.0.0.1:%1/"_s.arg(silent.Port());
  QString text = u"unset"_s;
  const long long ms = test::TimeMs([&] { text = FetchUrl(url, FetchMode::DeclaredCharset, 300); });
  EXPECT_EQ(text, u""_s);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 5000);
}

TEST(FetchUrl, WindowEventsRunWhileItWaits) {
  test::PageServer server;
  server.Set("/slow", {200, "late", "text/plain", 300});
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(20);
  EXPECT_EQ(FetchUrl(Url(server, "/slow"), FetchMode::DeclaredCharset), u"late"_s);
  EXPECT_GE(ticks, 3);
}

TEST(WaitMs, ReturnsAtOnceForNothingToWait) {
  EXPECT_LT(test::TimeMs([] { WaitMs(0); }), 20);
  EXPECT_LT(test::TimeMs([] { WaitMs(-5); }), 20);
}

TEST(WaitMs, WaitsAtLeastTheTimeAndHandlesTimerTicks) {
  bool ticked = false;
  QTimer::singleShot(100, [&] { ticked = true; });
  const long long ms = test::TimeMs([] { WaitMs(1000); });
  EXPECT_GE(ms, 1000);
  EXPECT_LT(ms, 3000);
  EXPECT_TRUE(ticked);
}

}  // namespace
}  // namespace ph
