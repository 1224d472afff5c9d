#include "status/status_listener.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "status/status_board.h"
#include "status/status_connection.h"
#include "support/fake_window.h"
#include "support/list_rows.h"
#include "support/raw_client.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <memory>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct Response {
  int status = 0;
  std::map<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;
};

// The whole responses in the bytes, in order; a head without its whole body ends the list.
std::vector<Response> Responses(QByteArray bytes, bool head_only = false) {
  std::vector<Response> found;
  while (true) {
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0) break;
    Response response;
    const QList<QByteArray> lines = bytes.left(end).split('\n');
    response.status = lines[0].split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      response.headers[lines[i].left(colon).toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    const qsizetype length = head_only ? 0 : response.headers[QByteArray("content-length")].toInt();
    if (bytes.size() < end + 4 + length) break;
    response.body = bytes.mid(end + 4, length);
    bytes.remove(0, end + 4 + length);
    found.push_back(std::move(response));
  }
  return found;
}

QByteArray Get(const QByteArray& path, const QByteArray& more = {}) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + more + "\r\n";
}

class StatusListenerTest : public ::testing::Test {
 protected:
  StatusListenerTest() : state(window, dir.Dir()), board(state, {}), listener(board) {}

  quint16 Start(const QString& password = {}) {
    EXPECT_EQ(listener.Start({u"127.0.0.1"_s, 0, password}), std::nullopt);
    return listener.Port();
  }
  // Sends the bytes on a new connection; what came once count responses are whole, and
  // whether the server closed the connection by then.
  std::vector<Response> Exchange(const QByteArray& bytes, std::size_t count, bool* closed = nullptr,
                                 bool head_only = false) {
    test::RawClient client(listener.Port());
    EXPECT_TRUE(client.Connected());
    client.Send(bytes);
    const QByteArray got = client.ReceivedWhen(
        [&](const QByteArray& b) { return Responses(b, head_only).size() >= count; }, 5000);
    // A connection to be kept is watched a moment: it must not close meanwhile.
    if (closed != nullptr) client.Received(300, closed);
    return Responses(got, head_only);
  }

  test::TempProgramDir dir;
  test::FakeWindow window;
  AppState state;
  StatusBoard board;
  StatusListener listener;
};

TEST_F(StatusListenerTest, PipelinedRequestsOnOneConnectionGetTheirAnswersInOrder) {
  state.List().AppendRows(test::ValidatedRows(3, 3, u"北京 电信"_s));
  Start();
  bool closed = true;
  const auto answers = Exchange(
      Get("/healthz") + Get("/status.json") + Get("/metrics") + Get("/") + Get("/nothing-here?x=1"),
      5, &closed);
  ASSERT_EQ(answers.size(), 5U);
  EXPECT_FALSE(closed);
  const std::pair<int, QByteArray> expected[] = {
      {200, "text/plain; charset=utf-8"},
      {200, "application/json; charset=utf-8"},
      {200, "text/plain; version=0.0.4; charset=utf-8"},
      {200, "text/html; charset=utf-8"},
      {404, "text/plain; charset=utf-8"},
  };
  for (std::size_t i = 0; i < answers.size(); ++i) {
    SCOPED_TRACE(i);
    const Response& answer = answers[i];
    EXPECT_EQ(answer.status, expected[i].first);
    EXPECT_EQ(answer.headers.at("content-type"), expected[i].second);
    EXPECT_EQ(answer.headers.at("cache-control"), "no-store");
    EXPECT_EQ(answer.headers.at("connection"), "keep-alive");
    EXPECT_EQ(answer.headers.at("content-length").toInt(), answer.body.size());
  }
  EXPECT_EQ(answers[0].body, "ok\n");
  const QJsonObject json = QJsonDocument::fromJson(answers[1].body).object();
  EXPECT_EQ(json[u"list"_s][u"rows"_s].toInt(), 3);
  EXPECT_EQ(json[u"list"_s][u"working"_s].toInt(), 3);
  EXPECT_TRUE(answers[2].body.contains("proxyharvest_rows{state=\"working\"} 3\n"));
  EXPECT_TRUE(answers[3].body.contains("\"rows\":3"));  // the status of now, in the page
}

struct CloseCase {
  const char* name;
  QByteArray request;
  bool closes;
  bool body;
};

TEST_F(StatusListenerTest, TheConnectionStaysOrGoesAsTheVersionAndTheClientSay) {
  Start();
  const CloseCase cases[] = {
      {"HTTP/1.1", Get("/healthz"), false, true},
      {"HTTP/1.1 asking to close", Get("/healthz", "Connection: close\r\n"), true, true},
      {"HTTP/1.0", "GET /healthz HTTP/1.0\r\n\r\n", true, true},
      {"HTTP/1.0 asking to stay", "GET /healthz HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", false,
       true},
      {"HEAD", "HEAD /metrics HTTP/1.1\r\nHost: x\r\n\r\n", false, false},
      {"bare line feeds", "GET /healthz HTTP/1.1\nHost: x\n\n", false, true},
  };
  for (const CloseCase& c : cases) {
    SCOPED_TRACE(c.name);
    bool closed = false;
    const auto answers = Exchange(c.request, 1, &closed, !c.body);
    ASSERT_EQ(answers.size(), 1U);
    EXPECT_EQ(answers[0].status, 200);
    EXPECT_EQ(closed, c.closes);
    EXPECT_EQ(answers[0].headers.at("connection"), c.closes ? "close" : "keep-alive");
    EXPECT_GT(answers[0].headers.at("content-length").toInt(), 0);
    EXPECT_EQ(answers[0].body.isEmpty(), !c.body);
  }
}

struct RefusalCase {
  const char* name;
  QByteArray request;
  int status;
};

TEST_F(StatusListenerTest, WhatItDoesNotServeIsRefusedAndTheConnectionEnds) {
  Start();
  const RefusalCase cases[] = {
      {"a POST", "POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405},
      {"a body, which no route reads", Get("/", "Content-Length: 5\r\n") + "hello", 400},
      {"a chunked body", Get("/", "Transfer-Encoding: chunked\r\n"), 400},
      {"not HTTP", "HELLO\r\n\r\n", 400},
      {"another version", "GET / HTTP/2.0\r\n\r\n", 400},
      {"a head past 16 KiB", "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'a'), 431},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    bool closed = false;
    const auto answers = Exchange(c.request, 1, &closed);
    ASSERT_EQ(answers.size(), 1U);
    EXPECT_EQ(answers[0].status, c.status);
    EXPECT_TRUE(closed);
  }
  EXPECT_EQ(Exchange("POST / HTTP/1.1\r\n\r\n", 1)[0].headers.at("allow"), "GET, HEAD");
}

TEST_F(StatusListenerTest, WithAPasswordEveryPathButHealthzWantsIt) {
  Start(u"秘密 pass"_s);
  const QByteArray right =
      "Authorization: Basic " + QByteArray("any:秘密 pass").toBase64() + "\r\n";
  const QByteArray wrong = "Authorization: Basic " + QByteArray("any:秘密 pas").toBase64() + "\r\n";
  const auto answers =
      Exchange(Get("/") + Get("/metrics", wrong) + Get("/status.json", right) + Get("/healthz") +
                   Get("/metrics", "Authorization: Basic !!\r\n"),
               5);
  ASSERT_EQ(answers.size(), 5U);
  EXPECT_EQ(answers[0].status, 401);
  EXPECT_EQ(answers[0].headers.at("www-authenticate"),
            "Basic realm=\"ProxyHarvest\", charset=\"UTF-8\"");
  EXPECT_EQ(answers[1].status, 401);
  EXPECT_EQ(answers[2].status, 200);
  EXPECT_EQ(answers[3].status, 200);
  EXPECT_EQ(answers[4].status, 401);
}

TEST_F(StatusListenerTest, ASilentOrHalfSentClientIsClosedAfterTheIdleLimit) {
  listener.SetIdleMs(300);
  Start();
  test::RawClient silent(listener.Port());
  test::RawClient half(listener.Port());
  ASSERT_TRUE(silent.Connected());
  ASSERT_TRUE(half.Connected());
  half.Send("GET / HTTP/1.1\r\nHost: x\r\n");
  bool closed = false;
  EXPECT_TRUE(silent.Received(5000, &closed).isEmpty());
  EXPECT_TRUE(closed);
  EXPECT_TRUE(half.Received(5000, &closed).isEmpty());
  EXPECT_TRUE(closed);
}

TEST_F(StatusListenerTest, PastTheLimitAClientWaitsForAFreeSlot) {
  Start();
  std::vector<std::unique_ptr<test::RawClient>> held;
  for (int i = 0; i < StatusListener::kMostClients; ++i) {
    held.push_back(std::make_unique<test::RawClient>(listener.Port()));
    ASSERT_TRUE(held.back()->Connected());
  }
  ASSERT_TRUE(test::WaitFor([&] { return listener.Clients() == StatusListener::kMostClients; }));
  test::RawClient waiting(listener.Port());
  ASSERT_TRUE(waiting.Connected());  // the system accepts it; the listener does not yet
  waiting.Send(Get("/healthz"));
  const auto none = waiting.ReceivedWhen([](const QByteArray& b) { return !b.isEmpty(); }, 300);
  EXPECT_TRUE(none.isEmpty());
  held.front()->Close();
  const QByteArray answer =
      waiting.ReceivedWhen([](const QByteArray& b) { return Responses(b).size() == 1; }, 5000);
  ASSERT_EQ(Responses(answer).size(), 1U);
  EXPECT_EQ(Responses(answer)[0].status, 200);
}

TEST_F(StatusListenerTest, AStopEndsTheClientsAndAStartOnATakenPortSaysWhy) {
  const quint16 port = Start();
  test::RawClient client(port);
  ASSERT_TRUE(client.Connected());
  ASSERT_TRUE(test::WaitFor([&] { return listener.Clients() == 1; }));
  listener.Stop();
  bool closed = false;
  client.Received(3000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(test::WaitFor([&] { return listener.Clients() == 0; }));

  StatusListener other(board);
  ASSERT_EQ(other.Start({u"127.0.0.1"_s, 0, {}}), std::nullopt);
  const std::optional<QString> taken = listener.Start({u"127.0.0.1"_s, other.Port(), {}});
  ASSERT_TRUE(taken.has_value());
  EXPECT_TRUE(taken->contains(QString::number(other.Port()))) << taken->toStdString();
  EXPECT_FALSE(listener.Listening());
  EXPECT_TRUE(listener.Start({u"本机"_s, 0, {}})->startsWith(u"地址无效"_s));
}

TEST_F(StatusListenerTest, TextsFromOutsideStayTextsInTheJsonAndInThePage) {
  const QString hostile = u"</script><img src=x onerror=alert(1)> \"引号\" \\ \n\t\u2028"_s;
  state.List().AppendRow(test::ValidatedRow(u"1.2.3.4:80"_s, hostile));
  Start();
  const auto answers = Exchange(Get("/status.json") + Get("/"), 2);
  ASSERT_EQ(answers.size(), 2U);
  QJsonParseError error;
  const QJsonObject json = QJsonDocument::fromJson(answers[0].body, &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  EXPECT_EQ(json[u"list"_s][u"regions"_s].toArray()[0].toArray()[0].toString(), hostile);
  // The JSON stands in the page whole, and nothing in it can end its script element.
  EXPECT_TRUE(
      answers[1].body.contains(answers[0].body.mid(answers[0].body.indexOf("\"list\""), 200)));
  EXPECT_FALSE(answers[1].body.contains("</script><img"));
}

TEST(StatusPageText, NeedsNothingFromElsewhere) {
  QFile page(u":/status/status_page.html"_s);
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QByteArray text = page.readAll();
  ASSERT_TRUE(text.contains("@STATUS_JSON@"));
  for (const char* outside : {"http:", "https:", "//", "@import", "url(", "src="}) {
    // "//" may only start a comment line in the script.
    if (QByteArrayView(outside) == "//") {
      EXPECT_FALSE(text.contains("\"//")) << outside;
      EXPECT_FALSE(text.contains("'//")) << outside;
      continue;
    }
    EXPECT_FALSE(text.contains(outside)) << outside;
  }
}

}  // namespace
}  // namespace ph
