#include "status/http_head.h"
#include "status/listen_address.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct HeadCase {
  const char* name;
  QByteArray head;
  bool parses;
  QByteArray path;
  bool keep_alive;
  bool has_body;
};

TEST(ParseHttpHead, ReadsWhatTheListenerNeeds) {
  const HeadCase cases[] = {
      {"plain", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", true, "/", true, false},
      {"query and fragment cut", "GET /status.json?t=1#a HTTP/1.1\r\n\r\n", true, "/status.json",
       true, false},
      {"close in a list, any case", "GET / HTTP/1.1\r\nConnection: Upgrade, CLOSE\r\n\r\n", true,
       "/", false, false},
      {"1.0 stays only when asked", "GET / HTTP/1.0\r\nconnection: keep-alive\r\n\r\n", true, "/",
       true, false},
      {"1.0 closes", "GET / HTTP/1.0\r\n\r\n", true, "/", false, false},
      {"zero length is no body", "GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", true, "/", true,
       false},
      {"a body", "GET / HTTP/1.1\r\nContent-Length: 3\r\n\r\n", true, "/", true, true},
      {"a chunked body", "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", true, "/", true,
       true},
      {"a negative length",
       "GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
       false,
       {},
       false,
       false},
      {"a field without a colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", false, {}, false, false},
      {"an absolute target", "GET http://x/ HTTP/1.1\r\n\r\n", false, {}, false, false},
      {"HTTP/2", "GET / HTTP/2\r\n\r\n", false, {}, false, false},
      {"too many words", "GET / / HTTP/1.1\r\n\r\n", false, {}, false, false},
  };
  for (const HeadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<HttpHead> head = ParseHttpHead(c.head);
    ASSERT_EQ(head.has_value(), c.parses);
    if (!head) continue;
    EXPECT_EQ(head->path, c.path);
    EXPECT_EQ(head->keep_alive, c.keep_alive);
    EXPECT_EQ(head->has_body, c.has_body);
  }
}

TEST(BasicPasswordMatches, TakesOnlyTheRightPasswordWhateverTheUser) {
  const auto basic = [](const QByteArray& pair) { return "Basic " + pair.toBase64(); };
  const QString password = u"密码:with colon"_s;
  EXPECT_TRUE(BasicPasswordMatches(basic("admin:密码:with colon"), password));
  EXPECT_TRUE(
      BasicPasswordMatches("basic   " + QByteArray(":密码:with colon").toBase64(), password));
  EXPECT_FALSE(BasicPasswordMatches(basic("admin:密码:with colo"), password));
  EXPECT_FALSE(BasicPasswordMatches(basic("admin:密码:with colonn"), password));
  EXPECT_FALSE(BasicPasswordMatches(basic("no colon"), password));
  EXPECT_FALSE(
      BasicPasswordMatches("Bearer " + QByteArray("x:密码:with colon").toBase64(), password));
  EXPECT_FALSE(BasicPasswordMatches("Basic ***", password));
  EXPECT_FALSE(BasicPasswordMatches({}, password));
  EXPECT_FALSE(BasicPasswordMatches(basic("user:"), password));
}

struct ListenCase {
  const char* text;
  bool ok;
  const char16_t* address;
  const char16_t* port;
};

TEST(SplitListenAddress, TakesAPortOrAnAddressWithIt) {
  const ListenCase cases[] = {
      {"9090", true, u"", u"9090"},
      {" 0.0.0.0:9090 ", true, u"0.0.0.0", u"9090"},
      {"[::1]:9090", true, u"::1", u"9090"},
      {"::1:9090", false, u"", u""},
      {"[::1]9090", false, u"", u""},
      {"127.0.0.1:", false, u"", u""},
      {":9090", false, u"", u""},
      {"host:port", false, u"", u""},
      {"", false, u"", u""},
  };
  for (const ListenCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<ListenAddress> split = SplitListenAddress(QString::fromUtf8(c.text));
    ASSERT_EQ(split.has_value(), c.ok);
    if (!split) continue;
    EXPECT_EQ(split->address, QString::fromUtf16(c.address));
    EXPECT_EQ(split->port, QString::fromUtf16(c.port));
  }
  EXPECT_TRUE(IsLoopbackAddress(u"127.0.0.2"_s));
  EXPECT_TRUE(IsLoopbackAddress(u"::1"_s));
  EXPECT_FALSE(IsLoopbackAddress(u"0.0.0.0"_s));
  EXPECT_FALSE(IsLoopbackAddress(u"::"_s));
  EXPECT_FALSE(IsLoopbackAddress(u"localhost"_s));
}

}  // namespace
}  // namespace ph
