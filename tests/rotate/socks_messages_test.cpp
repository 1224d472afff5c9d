#include "rotate/socks_messages.h"

#include "rotate/upstream_handshake.h"
#include "rotate/user_options.h"

#include <gtest/gtest.h>

#include <string>

namespace ph {
namespace {

using namespace std::string_literals;

TEST(SocksMessagesTest, Socks5GreetingAndCredentials) {
  Read<Socks5Greeting> greeting = ReadSocks5Greeting("\x05\x02\x00\x02rest"s);
  ASSERT_EQ(greeting.status, ReadStatus::kDone);
  EXPECT_EQ(greeting.used, 4u);
  EXPECT_TRUE(greeting.value.no_auth);
  EXPECT_TRUE(greeting.value.user_password);
  EXPECT_EQ(ReadSocks5Greeting("\x05\x02\x00"s).status, ReadStatus::kNeedMore);
  EXPECT_EQ(ReadSocks5Greeting("\x05\x00"s).status, ReadStatus::kBad);
  EXPECT_EQ(ReadSocks5Greeting("\x04\x01\x00"s).status, ReadStatus::kBad);

  const Read<Credentials> credentials = ReadSocks5Credentials("\x01\x04user\x02pw+"s);
  ASSERT_EQ(credentials.status, ReadStatus::kDone);
  EXPECT_EQ(credentials.used, 9u);
  EXPECT_EQ(credentials.value.user, "user");
  EXPECT_EQ(credentials.value.password, "pw");
  EXPECT_EQ(ReadSocks5Credentials("\x01\x04user\x02p"s).status, ReadStatus::kNeedMore);
  EXPECT_EQ(ReadSocks5Credentials("\x05\x04user\x02pw"s).status, ReadStatus::kBad);
}

struct SocksRequestCase {
  std::string bytes;
  bool socks5;
  ReadStatus status;
  std::size_t used;
  const char* authority;
  bool bad_address;
  const char* user;
};

TEST(SocksMessagesTest, ConnectRequestsOfEveryAddressType) {
  const SocksRequestCase cases[] = {
      {"\x05\x01\x00\x01\x7f\x00\x00\x01\x01\xbb"s, true, ReadStatus::kDone, 10, "127.0.0.1:443",
       false, ""},
      {"\x05\x01\x00\x03\x0c"
       "example.test\x00\x50"s,
       true, ReadStatus::kDone, 19, "example.test:80", false, ""},
      {"\x05\x01\x00\x04"s + std::string(15, '\0') + "\x01\x1f\x90"s, true, ReadStatus::kDone, 22,
       "[::1]:8080", false, ""},
      {"\x05\x01\x00\x03\x03"
       "a b\x00\x50"s,
       true, ReadStatus::kDone, 10, "", true, ""},
      {"\x05\x01\x00\x09"s + std::string(10, 'x'), true, ReadStatus::kDone, 14, "", true, ""},
      {"\x05\x01\x00\x03\x0c"
       "example"s,
       true, ReadStatus::kNeedMore, 0, "", false, ""},
      {"\x06\x01\x00\x01"s, true, ReadStatus::kBad, 0, "", false, ""},
      {"\x04\x01\x00\x50\x0a\x00\x00\x01session-1\x00"s, false, ReadStatus::kDone, 18,
       "10.0.0.1:80", false, "session-1"},
      {"\x04\x01\x01\xbb\x00\x00\x00\x07\x00name.test\x00more"s, false, ReadStatus::kDone, 19,
       "name.test:443", false, ""},
      {"\x04\x01\x01\xbb\x00\x00\x00\x07\x00name.te"s, false, ReadStatus::kNeedMore, 0, "", false,
       ""},
      {"\x04\x01\x00\x50\x0a\x00\x00\x01"s + std::string(300, 'u'), false, ReadStatus::kBad, 0, "",
       false, ""},
      {"\x05\x01"s, false, ReadStatus::kBad, 0, "", false, ""},
  };
  for (const SocksRequestCase& c : cases) {
    const Read<SocksRequest> read =
        c.socks5 ? ReadSocks5Request(c.bytes) : ReadSocks4Request(c.bytes);
    ASSERT_EQ(read.status, c.status) << testing::PrintToString(c.bytes);
    if (read.status != ReadStatus::kDone) continue;
    EXPECT_EQ(read.used, c.used) << testing::PrintToString(c.bytes);
    EXPECT_EQ(read.value.bad_address, c.bad_address) << testing::PrintToString(c.bytes);
    if (!c.bad_address) {
      EXPECT_EQ(AuthorityText(read.value.target), c.authority);
    }
    EXPECT_EQ(read.value.user, c.user);
  }
}

TEST(SocksMessagesTest, RequestsForUpstreamsRoundTrip) {
  for (const char* authority : {"192.0.2.7:1080", "example.test:443", "[2001:db8::5]:8443"}) {
    const Target target = *ReadAuthority(authority, 0);
    const std::string request = Socks5ConnectRequest(target);
    const Read<SocksRequest> read = ReadSocks5Request(request);
    ASSERT_EQ(read.status, ReadStatus::kDone) << authority;
    EXPECT_EQ(read.used, request.size());
    EXPECT_EQ(AuthorityText(read.value.target), authority);
  }
  // SOCKS4 for addresses, SOCKS4a for names, nothing for IPv6.
  for (const char* authority : {"192.0.2.7:1080", "example.test:443"}) {
    const std::string request = Socks4ConnectRequest(*ReadAuthority(authority, 0));
    const Read<SocksRequest> read = ReadSocks4Request(request);
    ASSERT_EQ(read.status, ReadStatus::kDone) << authority;
    EXPECT_EQ(AuthorityText(read.value.target), authority);
  }
  EXPECT_EQ(Socks4ConnectRequest(*ReadAuthority("[::1]:80", 0)), "");
  EXPECT_EQ(Socks5ConnectReply(kSocks5Succeeded).size(), 10u);
  EXPECT_EQ(Socks4Reply(false), "\x00\x5B\x00\x00\x00\x00\x00\x00"s);
}

struct HandshakeCase {
  UpstreamProtocol protocol;
  std::string answers;  // everything the upstream says, at once
  UpstreamHandshake::Result result;
  FaultClass failure;
  std::size_t leftover;  // bytes after the handshake's answers
};

// Drives a handshake to its end against the upstream's scripted answers, fed byte by byte.
UpstreamHandshake::Result Drive(UpstreamHandshake& handshake, const std::string& answers,
                                std::size_t& consumed, std::string& said) {
  said = handshake.TakeOutput();
  consumed = 0;
  std::string pending;
  for (const char c : answers) {
    pending.push_back(c);
    std::size_t used = 0;
    const UpstreamHandshake::Result result = handshake.Feed(pending, used);
    consumed += used;
    pending.erase(0, used);
    said += handshake.TakeOutput();
    if (result != UpstreamHandshake::Result::kNeedMore) return result;
  }
  return UpstreamHandshake::Result::kNeedMore;
}

TEST(UpstreamHandshakeTest, AnswersDecideWhoseFaultItIs) {
  using R = UpstreamHandshake::Result;
  const std::string socks5_ok = "\x05\x00"s + "\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50"s;
  const HandshakeCase cases[] = {
      {UpstreamProtocol::kHttp, "HTTP/1.1 200 Connection established\r\n\r\nTLS", R::kDone,
       FaultClass::kNone, 3},
      {UpstreamProtocol::kHttp, "HTTP/1.0 500 Unable to connect\r\n\r\n", R::kFailed,
       FaultClass::kTarget, 0},
      {UpstreamProtocol::kHttp, "HTTP/1.1 503 Service Unavailable\r\n\r\n", R::kFailed,
       FaultClass::kTarget, 0},
      {UpstreamProtocol::kHttp, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", R::kFailed,
       FaultClass::kProxy, 0},
      {UpstreamProtocol::kHttp, "SSH-2.0-OpenSSH\r\n\r\n", R::kFailed, FaultClass::kProxy, 0},
      {UpstreamProtocol::kSocks5, socks5_ok + "data", R::kDone, FaultClass::kNone, 4},
      {UpstreamProtocol::kSocks5, "\x05\xff"s, R::kFailed, FaultClass::kProxy, 0},
      {UpstreamProtocol::kSocks5, "\x05\x00\x05\x05"s, R::kFailed, FaultClass::kTarget, 0},
      {UpstreamProtocol::kSocks5, "\x05\x00\x05\x01"s, R::kFailed, FaultClass::kProxy, 0},
      {UpstreamProtocol::kSocks5, "HTTP/1.1 400"s, R::kFailed, FaultClass::kProxy, 0},
      {UpstreamProtocol::kSocks4, "\x00\x5a\x00\x00\x00\x00\x00\x00+"s, R::kDone, FaultClass::kNone,
       1},
      {UpstreamProtocol::kSocks4, "\x00\x5b\x00\x00\x00\x00\x00\x00"s, R::kFailed,
       FaultClass::kTarget, 0},
      {UpstreamProtocol::kSocks4, "\x00\x5c\x00\x00\x00\x00\x00\x00"s, R::kFailed,
       FaultClass::kProxy, 0},
  };
  const Target target = *ReadAuthority("example.test:443", 0);
  for (const HandshakeCase& c : cases) {
    UpstreamHandshake handshake(c.protocol, target);
    std::size_t consumed = 0;
    std::string said;
    const UpstreamHandshake::Result result = Drive(handshake, c.answers, consumed, said);
    EXPECT_EQ(result, c.result) << testing::PrintToString(c.answers);
    EXPECT_EQ(handshake.Failure(), c.failure) << testing::PrintToString(c.answers);
    // Fed one byte at a time, the handshake ends where its answers do: the rest is the
    // tunnel's.
    if (result == R::kDone) {
      EXPECT_EQ(consumed + c.leftover, c.answers.size());
    }
    EXPECT_FALSE(said.empty());
  }
}

TEST(UpstreamHandshakeTest, WhatIsSaidToEachKindOfUpstream) {
  const Target name = *ReadAuthority("example.test:443", 0);
  UpstreamHandshake http(UpstreamProtocol::kHttp, name);
  EXPECT_EQ(http.TakeOutput(),
            "CONNECT example.test:443 HTTP/1.1\r\nHost: example.test:443\r\n\r\n");
  // SOCKS5 names travel as names, resolved by the upstream.
  UpstreamHandshake socks5(UpstreamProtocol::kSocks5, name);
  EXPECT_EQ(socks5.TakeOutput(), "\x05\x01\x00"s);
  std::size_t used = 0;
  socks5.Feed("\x05\x00"s, used);
  EXPECT_EQ(socks5.TakeOutput(),
            "\x05\x01\x00\x03\x0c"
            "example.test\x01\xbb"s);
  UpstreamHandshake socks4(UpstreamProtocol::kSocks4, name);
  EXPECT_EQ(socks4.TakeOutput(),
            "\x04\x01\x01\xbb\x00\x00\x00\x01\x00"
            "example.test\x00"s);
  UpstreamHandshake none;
  EXPECT_TRUE(none.Done());
  EXPECT_EQ(none.TakeOutput(), "");
}

struct OptionsCase {
  std::string user;
  const char* session;
  Anonymity least;
  std::optional<UpstreamProtocol> protocol;
  const char* region;
};

TEST(UserOptionsTest, UserNamesCarryOptions) {
  const OptionsCase cases[] = {
      {"", "", Anonymity::kUnknown, std::nullopt, ""},
      {"session-7", "7", Anonymity::kUnknown, std::nullopt, ""},
      {"session-7-anon-elite", "7", Anonymity::kElite, std::nullopt, ""},
      {"anon-anonymous-proto-socks5", "", Anonymity::kAnonymous, UpstreamProtocol::kSocks5, ""},
      {"proto-http-region-北京", "", Anonymity::kUnknown, UpstreamProtocol::kHttp, "北京"},
      // GBK bytes of 北京, and the same percent-escaped in UTF-8.
      {"region-\xb1\xb1\xbe\xa9", "", Anonymity::kUnknown, std::nullopt, "北京"},
      {"region-%E5%8C%97%E4%BA%AC-session-x", "x", Anonymity::kUnknown, std::nullopt, "北京"},
      {"region-a%2Db", "", Anonymity::kUnknown, std::nullopt, "a-b"},
      {"user-anon-nobody-proto-ftp-x", "", Anonymity::kUnknown, std::nullopt, ""},
      {"session-", "", Anonymity::kUnknown, std::nullopt, ""},
      {"region-%zz%4", "", Anonymity::kUnknown, std::nullopt, "%zz%4"},
  };
  for (const OptionsCase& c : cases) {
    const SelectionOptions options = ReadUserOptions(c.user);
    EXPECT_EQ(options.session, c.session) << c.user;
    EXPECT_EQ(options.least_anonymity, c.least) << c.user;
    EXPECT_EQ(options.protocol, c.protocol) << c.user;
    EXPECT_EQ(options.region, QString::fromUtf8(c.region)) << c.user;
  }
}

TEST(UserOptionsTest, ServesFiltersByEveryOption) {
  Upstream upstream;
  upstream.protocol = UpstreamProtocol::kSocks5;
  upstream.anonymity = Anonymity::kAnonymous;
  upstream.region = QStringLiteral("北京 电信");
  EXPECT_TRUE(Serves(upstream, ReadUserOptions("")));
  EXPECT_TRUE(Serves(upstream, ReadUserOptions("anon-anonymous-proto-socks5-region-电信")));
  EXPECT_FALSE(Serves(upstream, ReadUserOptions("anon-elite")));
  EXPECT_FALSE(Serves(upstream, ReadUserOptions("proto-http")));
  EXPECT_FALSE(Serves(upstream, ReadUserOptions("region-上海")));
}

TEST(TargetTest, AuthoritiesAndNames) {
  EXPECT_EQ(AuthorityText(*ReadAuthority("example.test", 80)), "example.test:80");
  EXPECT_EQ(AuthorityText(*ReadAuthority("[::ffff:1.2.3.4]", 443)), "[::ffff:1.2.3.4]:443");
  EXPECT_FALSE(ReadAuthority("example.test", 0));
  EXPECT_FALSE(ReadAuthority("[::1", 80));
  EXPECT_FALSE(ReadAuthority("[::1]x", 80));
  EXPECT_FALSE(ReadAuthority("exa mple:80", 80));
  EXPECT_FALSE(ReadAuthority("a.test:", 80));
  EXPECT_FALSE(ReadAuthority("a.test:08x", 80));
  EXPECT_FALSE(ReadAuthority(std::string(256, 'a') + ":80", 80));
  EXPECT_EQ(ReadAuthority("1.2.3.4:5", 0)->kind, Target::Kind::kIpv4);
  EXPECT_EQ(ReadAuthority("1.2.3.400:5", 0)->kind, Target::Kind::kName);
  EXPECT_FALSE(NameTarget("a\r\nb", 80));
  EXPECT_FALSE(NameTarget("a.test", 0));
}

}  // namespace
}  // namespace ph
