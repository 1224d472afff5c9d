#include "web/web_fetch.h"

#include "core/gbk.h"
#include "support/http_fixtures.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString Url(const test::PageServer& server, const std::string& path) {
  return QString::fromStdString(server.Url(path));
}

// A fetch, waited for with the event loop running.
QString Fetched(const QString& url, FetchMode mode, int timeout_ms = kFetchTimeoutMs) {
  std::optional<QString> text;
  FetchAsync(url, mode, timeout_ms, nullptr, [&text](const QString& got) { text = got; });
  test::WaitFor([&] { return text.has_value(); }, timeout_ms + 5000);
  return text.value_or(u"no answer"_s);
}

TEST(FetchAsync, ReturnsTheBodyOfAnyAnswer) {
  test::PageServer server;
  server.Set("/ok", {200, "hello", "text/plain", 0});
  server.Set("/gone", {404, "<h1>missing</h1>", "text/html", 0});
  EXPECT_EQ(Fetched(Url(server, "/ok"), FetchMode::DeclaredCharset), u"hello"_s);
  EXPECT_EQ(Fetched(Url(server, "/gone"), FetchMode::DeclaredCharset), u"<h1>missing</h1>"_s);
  EXPECT_EQ(Fetched(Url(server, "/unknown"), FetchMode::DeclaredCharset), u"not found"_s);
}

TEST(FetchAsync, DecodesByTheDeclaredCharsetOrAsGbkBytes) {
  test::PageServer server;
  const std::string gbk = ToGbk(u"中文A"_s).toStdString();
  server.Set("/declared", {200, gbk, "text/html; charset=gb2312", 0});
  server.Set("/utf8", {200, "中文", "text/html", 0});
  server.Set("/undeclared", {200, gbk, "text/html", 0});
  server.Set("/broken", {200, "A\xB0", "text/html", 0});
  EXPECT_EQ(Fetched(Url(server, "/declared"), FetchMode::DeclaredCharset), u"中文A"_s);
  EXPECT_EQ(Fetched(Url(server, "/utf8"), FetchMode::DeclaredCharset), u"中文"_s);
  EXPECT_EQ(Fetched(Url(server, "/undeclared"), FetchMode::GbkBytes), u"中文A"_s);
  EXPECT_EQ(Fetched(Url(server, "/broken"), FetchMode::GbkBytes), u""_s);
}

TEST(FetchAsync, FailuresGiveEmptyText) {
  EXPECT_EQ(Fetched(u"not a url at all"_s, FetchMode::DeclaredCharset), u""_s);
  EXPECT_EQ(Fetched(u"ftp://127.0.0.1/x"_s, FetchMode::DeclaredCharset), u""_s);
  const QString refused = u"http://127.0.0.1:%1/"_s.arg(test::ClosedPort());
  EXPECT_EQ(Fetched(refused, FetchMode::DeclaredCharset), u""_s);
}

TEST(FetchAsync, AServerThatNeverAnswersEndsAtTheTimeOut) {
  test::SilentServer silent;
  const QString url = u"http://127.0.0.1:%1/"_s.arg(silent.Port());
  QString text = u"unset"_s;
  const long long ms = test::TimeMs([&] { text = Fetched(url, FetchMode::DeclaredCharset, 300); });
  EXPECT_EQ(text, u""_s);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 5000);
}

// Resident memory of this process in MiB.
long ResidentMiB() {
  QFile status(u"/proc/self/status"_s);
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
  return 0;
}

TEST(FetchAsync, AnEndlessBodyFailsEarlyAndStaysSmall) {
  test::StreamServer endless(std::string(64 * 1024, 'x'), 0);
  const long before = ResidentMiB();
  QString text = u"unset"_s;
  const long long ms = test::TimeMs([&] {
    text = Fetched(u"http://127.0.0.1:%1/"_s.arg(endless.Port()), FetchMode::DeclaredCharset);
  });
  EXPECT_EQ(text, u""_s);
  EXPECT_LT(ms, 5000);  // the time-out is 30 s
  EXPECT_LT(ResidentMiB() - before, 64);
}

TEST(FetchAsync, ADeclaredLengthAboveTheCapIsRefusedAtOnce) {
  test::StreamServer huge("x", 100, "Content-Length: 104857600\r\n");  // 100 MB, slowly
  QString text = u"unset"_s;
  const long long ms = test::TimeMs([&] {
    text = Fetched(u"http://127.0.0.1:%1/"_s.arg(huge.Port()), FetchMode::DeclaredCharset);
  });
  EXPECT_EQ(text, u""_s);
  EXPECT_LT(ms, 2000);
}

TEST(FetchAsync, CallsBackOnceLaterAndNeverIntoAGoneContext) {
  test::PageServer server;
  server.Set("/ok", {200, "hello", "text/plain", 50});
  QStringList answers;
  FetchAsync(Url(server, "/ok"), FetchMode::DeclaredCharset, 5000, nullptr,
             [&](const QString& text) { answers << text; });
  FetchAsync(u"not a url"_s, FetchMode::DeclaredCharset, 5000, nullptr,
             [&](const QString& text) { answers << u"bad:"_s + text; });
  EXPECT_TRUE(answers.isEmpty());  // never from inside the call
  auto context = std::make_unique<QObject>();
  FetchAsync(Url(server, "/ok"), FetchMode::DeclaredCharset, 5000, context.get(),
             [&](const QString&) { answers << u"gone"_s; });
  context.reset();
  ASSERT_TRUE(test::WaitFor([&] { return answers.size() == 2; }, 5000));
  test::WaitFor([] { return false; }, 200);
  EXPECT_EQ(answers, QStringList({u"bad:"_s, u"hello"_s}));
}

FetchedBody FetchBytes(const QString& url, qint64 max_bytes) {
  std::optional<FetchedBody> got;
  FetchBytesAsync(url, 5000, max_bytes, nullptr, [&](const FetchedBody& body) { got = body; });
  EXPECT_TRUE(test::WaitFor([&] { return got.has_value(); }, 5000));
  return got.value_or(FetchedBody{});
}

TEST(FetchBytesAsync, KeepsTheBytesAndCutsALongBodyAtItsCap) {
  test::PageServer server;
  std::string body;
  for (int i = 0; body.size() < 3'000'000; ++i) body += std::to_string(i) + "\n";
  server.Set("/list", {200, body, "text/plain", 0});
  server.Set("/gone", {404, "missing", "text/plain", 0});

  const FetchedBody whole = FetchBytes(Url(server, "/list"), static_cast<qint64>(body.size()));
  EXPECT_TRUE(whole.ok);
  EXPECT_FALSE(whole.cut);
  EXPECT_EQ(whole.bytes.toStdString(), body);

  const FetchedBody cut = FetchBytes(Url(server, "/list"), 1'000'000);
  EXPECT_TRUE(cut.ok);
  EXPECT_TRUE(cut.cut);
  EXPECT_EQ(cut.status, 200);
  EXPECT_EQ(cut.bytes.toStdString(), body.substr(0, 1'000'000));

  const FetchedBody gone = FetchBytes(Url(server, "/gone"), 1000);
  EXPECT_TRUE(gone.ok);
  EXPECT_EQ(gone.status, 404);
  EXPECT_FALSE(FetchBytes(u"http://127.0.0.1:%1/"_s.arg(test::ClosedPort()), 1000).ok);
}

TEST(FetchBytesAsync, AnEndlessBodyIsCutWithoutWaitingForItsEnd) {
  test::StreamServer endless(std::string(64 * 1024, 'x'), 0, "Content-Length: 104857600\r\n");
  FetchedBody body;
  const long long ms = test::TimeMs(
      [&] { body = FetchBytes(u"http://127.0.0.1:%1/"_s.arg(endless.Port()), 2'000'000); });
  EXPECT_TRUE(body.cut);
  EXPECT_EQ(body.bytes, QByteArray(2'000'000, 'x'));
  EXPECT_LT(ms, 4000);
}

TEST(FetchBytesAsync, AnEndlessChunkedBodyIsCutAtItsCapWithoutReadingFarAhead) {
  const std::string data(64 * 1024, '7');
  test::StreamServer endless("10000\r\n" + data + "\r\n", 0, "Transfer-Encoding: chunked\r\n");
  const qint64 cap = 20 * 1024 * 1024;
  std::optional<FetchedBody> got;
  FetchBytesAsync(u"http://127.0.0.1:%1/"_s.arg(endless.Port()), 10000, cap, nullptr,
                  [&](const FetchedBody& body) { got = body; });
  // The window's thread busy for a while, as with a large harvest: the network thread must
  // not read on into memory meanwhile.
  QTimer::singleShot(0, [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
  ASSERT_TRUE(test::WaitFor([&] { return got.has_value(); }, 20000));
  EXPECT_TRUE(got->ok);
  EXPECT_TRUE(got->cut);
  EXPECT_EQ(got->bytes.size(), cap);
  EXPECT_EQ(got->bytes.count('7'), cap);
  // What the server could hand over: the cap, the reply's read buffer and the two sockets'
  // buffers in the kernel, nothing like what it sends in half a second.
  EXPECT_LT(endless.Sent(), cap + 64 * 1024 * 1024);
}

// Answers every request with one body, compressed as the declared encoding says.
class DeflateServer {
 public:
  explicit DeflateServer(const QByteArray& plain)
      : compressed_(qCompress(plain, 9).mid(4).toStdString()),  // the zlib stream alone
        server_([this](int fd) {
          if (test::ReadHead(fd).empty()) return;
          test::WriteAll(fd,
                         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                         "Content-Encoding: deflate\r\nContent-Length: " +
                             std::to_string(compressed_.size()) + "\r\n\r\n" + compressed_);
        }) {}
  QString Url() const { return u"http://127.0.0.1:%1/"_s.arg(server_.Port()); }

 private:
  std::string compressed_;
  test::LoopbackServer server_;
};

TEST(FetchBytesAsync, AnAnswerTheDecompressionGuardStopsIsNeverComplete) {
  // Far more than Qt expands at this ratio: it stops with an error after some megabytes.
  const DeflateServer bomb(QByteArray("10.0.0.1:8080\r\n").repeated(4 * 1024 * 1024));
  const FetchedBody body = FetchBytes(bomb.Url(), 200 * 1024 * 1024);
  EXPECT_FALSE(body.ok && !body.cut) << body.bytes.size();
  const DeflateServer page(QByteArray("10.0.0.1:8080\r\n").repeated(1000));
  const FetchedBody whole = FetchBytes(page.Url(), 200 * 1024 * 1024);
  EXPECT_TRUE(whole.ok);
  EXPECT_FALSE(whole.cut);
  EXPECT_EQ(whole.bytes, QByteArray("10.0.0.1:8080\r\n").repeated(1000));
}

}  // namespace
}  // namespace ph
