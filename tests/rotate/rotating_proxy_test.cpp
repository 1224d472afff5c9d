// The port against in-process clients and upstreams on loopback (no child programs, so these
// run under ThreadSanitizer as well).
#include "rotate/rotating_proxy.h"

#include "rotate/rotate_texts.h"
#include "rotate_fixture.h"
#include "support/loopback_server.h"
#include "support/process_memory.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::Connect;
using test::LoopbackUpstream;
using test::ReadToEnd;
using test::WriteAll;

::testing::AssertionResult Ok(const std::string& answer) {
  if (answer.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 && answer.ends_with("the page"))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the answer was: " << answer;
}

class RotatingProxyTest : public test::RotateTest {};

TEST_F(RotatingProxyTest, RequestsRotateOverThePoolByEachStrategy) {
  test::FakeProxy a, b, c;
  SetPool({LoopbackUpstream(1, a.Port(), UpstreamProtocol::kHttp, Anonymity::kElite, 300),
           LoopbackUpstream(2, b.Port(), UpstreamProtocol::kHttp, Anonymity::kElite, 100),
           LoopbackUpstream(3, c.Port(), UpstreamProtocol::kHttp, Anonymity::kElite, 200)});
  const auto counts = [&] { return std::vector<int>{a.Gets(), b.Gets(), c.Gets()}; };

  RotateOptions options = Options();
  options.strategy = Strategy::kRoundRobin;
  StartPort(options);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(Ok(GetPage())) << i;
  EXPECT_EQ(counts(), (std::vector<int>{2, 2, 2}));

  options.strategy = Strategy::kFastest;
  StartPort(options);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Ok(GetPage()));
  EXPECT_EQ(counts(), (std::vector<int>{2, 5, 2}));

  options.strategy = Strategy::kRandom;
  StartPort(options);
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(Ok(GetPage()));
  const std::vector<int> random = counts();
  EXPECT_GT(random[0], 2);
  EXPECT_GT(random[1], 5);
  EXPECT_GT(random[2], 2);

  // Sticky: this client (127.0.0.1) keeps one upstream.
  options.strategy = Strategy::kSticky;
  StartPort(options);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(Ok(GetPage()));
  const std::vector<int> sticky = counts();
  int moved = 0;
  for (std::size_t i = 0; i < 3; ++i) moved += sticky[i] != random[i] ? 1 : 0;
  EXPECT_EQ(moved, 1);
  EXPECT_EQ(origin.Requests(), 45);
  EXPECT_EQ(proxy.Counters().requests, 45);
  EXPECT_EQ(proxy.Counters().http_requests, 45);
}

TEST_F(RotatingProxyTest, SessionsKeepTheirUpstreamAndAnonEliteUsesOnlyEliteRows) {
  test::FakeProxy elite, anonymous, transparent;
  SetPool(
      {LoopbackUpstream(1, elite.Port(), UpstreamProtocol::kHttp, Anonymity::kElite),
       LoopbackUpstream(2, anonymous.Port(), UpstreamProtocol::kHttp, Anonymity::kAnonymous),
       LoopbackUpstream(3, transparent.Port(), UpstreamProtocol::kHttp, Anonymity::kTransparent)});
  RotateOptions options = Options();
  options.strategy = Strategy::kRandom;
  StartPort(options);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Ok(GetPage("anon-elite")));
  EXPECT_EQ(elite.Gets(), 10);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Ok(GetPage("anon-anonymous")));
  EXPECT_EQ(transparent.Gets(), 0);

  const auto counts = [&] {
    return std::vector<int>{elite.Gets(), anonymous.Gets(), transparent.Gets()};
  };
  const std::vector<int> before = counts();
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(Ok(GetPage("session-42")));
  // All twelve went to one upstream.
  std::vector<int> added = counts();
  for (std::size_t i = 0; i < added.size(); ++i) added[i] -= before[i];
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, (std::vector<int>{0, 0, 12}));

  // A region typed on a Chinese Windows arrives in GBK: 上海.
  SetPool({LoopbackUpstream(1, elite.Port(), UpstreamProtocol::kHttp, Anonymity::kElite, 100,
                            u"北京 电信"_s),
           LoopbackUpstream(2, anonymous.Port(), UpstreamProtocol::kHttp, Anonymity::kAnonymous,
                            100, u"上海 联通"_s)});
  const int shanghai = anonymous.Gets();
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Ok(GetPage("region-\xc9\xcf\xba\xa3")));
  EXPECT_EQ(anonymous.Gets(), shanghai + 4);

  // Sessions over SOCKS5 too: the user name carries the options.
  const int fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "127.0.0.1", origin.Port(), "session-42-anon-elite", "x"), 0);
  close(fd);
  EXPECT_EQ(elite.Connects(), 1);
}

TEST_F(RotatingProxyTest, TunnelsAndSocksClientsReachTheTargetThroughEachKindOfUpstream) {
  test::FakeProxy http;
  test::ProxyFarm farm;
  const std::string socks_address = farm.Add({"from the socks upstream", 0, false, true}, 1)[0];
  farm.Start();
  const uint16_t socks_port =
      static_cast<uint16_t>(std::stoi(socks_address.substr(socks_address.rfind(':') + 1)));
  StartPort();
  const std::string request = "GET /page HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  // What a client sends after its tunnel is up, and what it must get back.
  const auto through = [&](int fd) {
    WriteAll(fd, request);
    return ReadToEnd(fd);
  };

  SetPool({LoopbackUpstream(1, http.Port())});
  // CONNECT; the name is passed on to the upstream, which connects it (to loopback).
  int fd = Connect(proxy.Port());
  WriteAll(fd, "CONNECT origin.test:" + std::to_string(origin.Port()) + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(test::ReadExactly(fd, 39), "HTTP/1.1 200 Connection established\r\n\r\n");
  EXPECT_TRUE(through(fd).ends_with("the page"));
  close(fd);
  for (const char* host : {"127.0.0.1", "origin.test", "::1"}) {
    fd = Connect(proxy.Port());
    EXPECT_EQ(test::Socks5Connect(fd, host, origin.Port()), 0) << host;
    EXPECT_TRUE(through(fd).ends_with("the page")) << host;
    close(fd);
  }
  for (const char* host : {"127.0.0.1", "origin.test"}) {
    fd = Connect(proxy.Port());
    EXPECT_EQ(test::Socks4Connect(fd, host, origin.Port(), "session-1"), 0x5A) << host;
    EXPECT_TRUE(through(fd).ends_with("the page")) << host;
    close(fd);
  }
  EXPECT_EQ(http.Connects(), 6);

  // A SOCKS5 upstream, for a tunnel and for a forwarded request.
  SetPool({LoopbackUpstream(2, socks_port, UpstreamProtocol::kSocks5)});
  fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "origin.test", 80), 0);
  EXPECT_TRUE(through(fd).ends_with("from the socks upstream"));
  close(fd);
  EXPECT_TRUE(GetPage().ends_with("from the socks upstream"));
  const RotateCounters counters = proxy.Counters();
  EXPECT_EQ(counters.connect_tunnels, 1);
  EXPECT_EQ(counters.socks5, 4);
  EXPECT_EQ(counters.socks4, 2);
  EXPECT_EQ(counters.http_requests, 1);
  EXPECT_GT(counters.bytes_down, 0);
  EXPECT_GT(counters.bytes_up, 0);
}

TEST_F(RotatingProxyTest, ATunnelCarriesEachSidesEndToTheOther) {
  // An origin that reads until its client is done sending, then says how much it got.
  test::LoopbackServer counter([](int fd) {
    std::size_t total = 0;
    char buffer[65536];
    for (ssize_t got; (got = recv(fd, buffer, sizeof(buffer), 0)) > 0;)
      total += static_cast<std::size_t>(got);
    WriteAll(fd, "got " + std::to_string(total));
  });
  test::FakeProxy http;
  SetPool({LoopbackUpstream(1, http.Port())});
  // Through kernel pipes and through the port's own buffers alike.
  for (const bool splice : {true, false}) {
    RotateOptions options = Options();
    options.splice = splice;
    StartPort(options);
    for (const std::size_t size : {std::size_t{10}, std::size_t{3} << 20}) {
      const int fd = Connect(proxy.Port());
      ASSERT_EQ(test::Socks5Connect(fd, "127.0.0.1", counter.Port()), 0);
      WriteAll(fd, std::string(size, 'z'));
      shutdown(fd, SHUT_WR);
      EXPECT_EQ(ReadToEnd(fd), "got " + std::to_string(size)) << splice;
      close(fd);
    }
  }
}

TEST_F(RotatingProxyTest, KeptAliveConnectionsCarryRequestsBodiesAndChunkedAnswers) {
  // An origin that answers each request on a connection with its body, chunked, and keeps
  // the connection.
  test::LoopbackServer echo([](int fd) {
    while (true) {
      std::string head = test::ReadHead(fd, 5000);
      const std::size_t end = head.find("\r\n\r\n");
      if (end == std::string::npos) return;
      std::string body = head.substr(end + 4);
      const std::size_t length_at = head.find("Content-Length: ");
      const std::size_t length =
          length_at == std::string::npos ? 0 : std::stoul(head.substr(length_at + 16));
      if (body.size() < length) body += test::ReadExactly(fd, length - body.size());
      std::string answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
      for (std::size_t at = 0; at < body.size(); at += 1000) {
        const std::string chunk = body.substr(at, 1000);
        char size[16];
        snprintf(size, sizeof(size), "%zx\r\n", chunk.size());
        answer += size + chunk + "\r\n";
      }
      if (!WriteAll(fd, answer + "0\r\n\r\n")) return;
    }
  });
  test::FakeProxy http;
  StartPort();
  SetPool({LoopbackUpstream(1, http.Port())});
  const int fd = Connect(proxy.Port());
  const std::string url = "http://127.0.0.1:" + std::to_string(echo.Port()) + "/echo";
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{300000}}) {
    const std::string body(size, 'b');
    WriteAll(fd, "POST " + url + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(size) +
                     "\r\n\r\n" + body);
    const std::string answer = test::ReadResponse(fd);
    ASSERT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << size;
    EXPECT_EQ(answer.find("Connection: close"), std::string::npos);
    std::size_t bs = 0;
    for (const char ch : answer) bs += ch == 'b' ? 1 : 0;
    EXPECT_EQ(bs, size);
  }
  close(fd);
  // Three requests on one client connection, and on one upstream connection kept between
  // them.
  EXPECT_EQ(proxy.Counters().http_requests, 3);
  EXPECT_EQ(proxy.Counters().connections_total, 1);
  EXPECT_EQ(http.Connections(), 1);
  EXPECT_EQ(echo.Connections(), 1);
}

TEST_F(RotatingProxyTest, ADeadUpstreamIsTriedAroundAndReportedButNotBlamedForTheTarget) {
  test::FakeProxy alive;
  test::SilentServer silent;
  const uint16_t closed = test::ClosedPort();
  RotateOptions options = Options();
  options.try_timeout_ms = 300;
  StartPort(options);
  SetPool({LoopbackUpstream(1, closed), LoopbackUpstream(2, silent.Port()),
           LoopbackUpstream(3, alive.Port())});
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(Ok(GetPage())) << i;
  EXPECT_EQ(alive.Gets(), 6);
  RotateCounters counters = proxy.Counters();
  EXPECT_GT(counters.retries, 0);
  EXPECT_GT(counters.faults_proxy, 0);
  std::vector<RowId> faulted = proxy.TakeFaultedRows();
  std::sort(faulted.begin(), faulted.end());
  EXPECT_EQ(faulted, (std::vector<RowId>{1, 2}));
  EXPECT_TRUE(proxy.TakeFaultedRows().empty());

  // A target nobody can reach: the upstreams say so, and are not at fault.
  const int fd = Connect(proxy.Port());
  SetPool({LoopbackUpstream(3, alive.Port())});
  WriteAll(fd, "CONNECT 127.0.0.1:" + std::to_string(closed) + " HTTP/1.1\r\n\r\n");
  const std::string answer = ReadToEnd(fd);
  close(fd);
  EXPECT_EQ(answer.rfind("HTTP/1.1 502 Bad Gateway\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("X-ProxyHarvest-Failure: target\r\n"), std::string::npos) << answer;
  EXPECT_GT(proxy.Counters().faults_target, 0);
  EXPECT_TRUE(proxy.TakeFaultedRows().empty());
}

TEST_F(RotatingProxyTest, WithEveryUpstreamDeadTheClientIsToldTheClass) {
  RotateOptions options = Options();
  options.try_timeout_ms = 300;
  StartPort(options);
  // An empty pool.
  std::string answer = GetPage();
  EXPECT_EQ(answer.rfind("HTTP/1.1 502 Bad Gateway\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("X-ProxyHarvest-Failure: no-proxy\r\n"), std::string::npos) << answer;
  int fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "origin.test", 80), 0x03);
  close(fd);

  // Four dead upstreams: three tries, then the class.
  test::SilentServer silent;
  SetPool({LoopbackUpstream(1, test::ClosedPort()), LoopbackUpstream(2, test::ClosedPort()),
           LoopbackUpstream(3, silent.Port()), LoopbackUpstream(4, test::ClosedPort())});
  answer = GetPage();
  EXPECT_EQ(answer.rfind("HTTP/1.1 502 Bad Gateway\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("X-ProxyHarvest-Failure: proxy\r\n"), std::string::npos) << answer;
  const RotateCounters counters = proxy.Counters();
  EXPECT_EQ(counters.faults_no_proxy, 2);
  EXPECT_EQ(counters.faults_proxy, 3);
  EXPECT_EQ(counters.retries, 2);
  fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "origin.test", 80), 0x01);
  close(fd);
  fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks4Connect(fd, "origin.test", 80), 0x5B);
  close(fd);
}

TEST_F(RotatingProxyTest, TheBreakerTakesADeadUpstreamOutAndBringsItBackOnceItRecovers) {
  test::FakeProxy flaky, steady;
  flaky.SetRefusing(true);
  RotateOptions options = Options();
  options.breaker = {2, 1000, 2000};
  StartPort(options);
  SetPool({LoopbackUpstream(1, flaky.Port()), LoopbackUpstream(2, steady.Port())});
  // Round robin: the flaky one is tried every other request until its breaker opens.
  ASSERT_TRUE(Ok(GetPage()));
  ASSERT_TRUE(Ok(GetPage()));
  const auto opened = std::chrono::steady_clock::now();
  ASSERT_TRUE(proxy.BreakerOpen(1));
  EXPECT_EQ(flaky.Connections(), 2);
  // While it is out nobody is sent there. (Should these requests outlast its time out, as on
  // a machine stalled for a second, a trial may slip in; only then is the count not checked.)
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(Ok(GetPage()));
  if (std::chrono::steady_clock::now() - opened < std::chrono::milliseconds(900)) {
    EXPECT_EQ(flaky.Connections(), 2);
  }
  // It recovers: after its time out a trial finds it working, and it serves again.
  flaky.SetRefusing(false);
  EXPECT_TRUE(test::WaitFor(
      [&] {
        EXPECT_TRUE(Ok(GetPage()));
        return flaky.Gets() > 0;
      },
      10000));
  EXPECT_FALSE(proxy.BreakerOpen(1));
}

TEST_F(RotatingProxyTest, APasswordIsCheckedForEveryProtocol) {
  test::FakeProxy http;
  RotateOptions options = Options();
  options.password = "secret";
  StartPort(options);
  SetPool({LoopbackUpstream(1, http.Port())});
  for (const auto& [user, password] :
       std::vector<std::pair<std::string, std::string>>{{"", ""}, {"anon-elite", "wrong"}}) {
    const std::string answer = GetPage(user, password);
    EXPECT_EQ(answer.rfind("HTTP/1.1 407 Proxy Authentication Required\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("Proxy-Authenticate: Basic"), std::string::npos);
  }
  EXPECT_TRUE(Ok(GetPage("anon-elite", "secret")));
  EXPECT_TRUE(Ok(GetPage("", "secret")));

  int fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "127.0.0.1", origin.Port()), -1);  // offers no auth only
  close(fd);
  fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "127.0.0.1", origin.Port(), "x", "wrong"), -1);
  close(fd);
  fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks5Connect(fd, "127.0.0.1", origin.Port(), "x", "secret"), 0);
  close(fd);
  fd = Connect(proxy.Port());
  EXPECT_EQ(test::Socks4Connect(fd, "127.0.0.1", origin.Port(), "secret"), 0x5B);
  close(fd);
  EXPECT_EQ(http.Gets(), 2);
  EXPECT_EQ(http.Connects(), 1);
  EXPECT_EQ(proxy.Counters().faults_client, 5);
}

TEST_F(RotatingProxyTest, GarbageSilenceAndAFloodOfConnectionsLeaveOthersWorking) {
  // The flood needs two descriptors a connection in this process, as client and port.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  const int flood = static_cast<int>(std::min<rlim_t>(3000, (files.rlim_cur - 512) / 2));

  test::FakeProxy http;
  RotateOptions options = Options();
  options.handshake_timeout_ms = 300;
  StartPort(options);
  SetPool({LoopbackUpstream(1, http.Port())});

  for (const std::string& garbage :
       {std::string("\x16\x03\x01\x02\x00", 5), std::string("\x05\x00", 2),
        std::string("\x04\x02\x00\x50\x01\x02\x03\x04\x00", 9), std::string("GET /\r\n\r\n"),
        std::string(20000, 'A'), std::string("\x05\x01\x00\x05\x01\x00\x07", 7)}) {
    const int fd = Connect(proxy.Port());
    WriteAll(fd, garbage);
    EXPECT_TRUE(test::ClosedWithin(fd, 5000)) << garbage.substr(0, 10);
    close(fd);
  }
  // A client that says nothing is closed after the handshake time out.
  const int silent = Connect(proxy.Port());
  EXPECT_TRUE(test::ClosedWithin(silent, 5000));
  close(silent);

  // The flood waits longer than the silent client did.
  options.handshake_timeout_ms = 60000;
  options.max_connections = flood + 100;
  StartPort(options);
  std::vector<int> fds;
  for (int i = 0; i < flood; ++i) {
    const int fd = Connect(proxy.Port());
    ASSERT_GE(fd, 0) << i;
    fds.push_back(fd);
    if (i % 3 == 1) WriteAll(fd, "\x05\x01");  // half a greeting
  }
  EXPECT_TRUE(Ok(GetPage()));
  EXPECT_TRUE(test::WaitFor([&] { return proxy.Counters().connections_open >= flood; }, 10000));
  for (const int fd : fds) close(fd);
  EXPECT_TRUE(test::WaitFor([&] { return proxy.Counters().connections_open == 0; }, 10000));
  EXPECT_TRUE(Ok(GetPage()));
  EXPECT_EQ(proxy.Counters().connections_refused, 0);

  // Beyond the limit a connection is closed at once and counted.
  options.max_connections = 2;
  StartPort(options);
  const int first = Connect(proxy.Port());
  const int second = Connect(proxy.Port());
  const int third = Connect(proxy.Port());
  EXPECT_TRUE(test::ClosedWithin(third, 5000));
  EXPECT_EQ(proxy.Counters().connections_refused, 1);
  for (const int fd : {first, second, third}) close(fd);
}

TEST_F(RotatingProxyTest, ALargeDownloadToASlowReaderKeepsMemoryFlat) {
  test::StreamServer endless(std::string(64 * 1024, 'x'), 0);
  test::FakeProxy http;
  StartPort();
  SetPool({LoopbackUpstream(1, http.Port())});
  const long before = test::ResidentKib();
  const int fd = Connect(proxy.Port());
  WriteAll(fd, "CONNECT 127.0.0.1:" + std::to_string(endless.Port()) + " HTTP/1.1\r\n\r\n" +
                   "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  constexpr std::size_t kWanted = 200u << 20;
  std::size_t received = 0;
  std::string buffer(256 * 1024, '\0');
  long peak = before;
  while (received < kWanted) {
    const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) break;
    received += static_cast<std::size_t>(got);
    // A slow reader: a quarter of a megabyte every two milliseconds at most.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (received % (16u << 20) < static_cast<std::size_t>(got))
      peak = std::max(peak, test::ResidentKib());
  }
  close(fd);
  EXPECT_GE(received, kWanted);
  // Fixed buffers and back-pressure: growth far below what arrived (200 MB), whatever
  // the allocator keeps.
  EXPECT_LT(peak - before, 32 * 1024) << "before " << before << " KiB, peak " << peak << " KiB";
}

TEST_F(RotatingProxyTest, AStartOnAPortInUseFailsAndTheTextsNameIt) {
  StartPort();
  const uint16_t taken = proxy.Port();
  RotatingProxy second;
  RotateOptions options = Options();
  options.port = taken;
  const std::optional<RotateFailure> failure = second.Start(options);
  ASSERT_TRUE(failure);
  EXPECT_FALSE(second.Running());
  EXPECT_EQ(failure->port, taken);
  EXPECT_EQ(failure->number, EADDRINUSE);
  EXPECT_EQ(
      RotateFailedText(*failure),
      u"轮换代理启动失败,端口: %1,错误: Address already in use (错误代码: %2)"_s.arg(taken).arg(
          EADDRINUSE));
  options.bind_address = "not an address";
  options.port = 0;
  EXPECT_EQ(second.Start(options)->number, EINVAL);
  options.bind_address = "127.0.0.1";
  options.port = taken;
  EXPECT_EQ(RotateStartedText("127.0.0.1", 8899), u"轮换代理已启动: 127.0.0.1:8899"_s);
  EXPECT_EQ(RotateStartedText("::1", 8899), u"轮换代理已启动: [::1]:8899"_s);
  EXPECT_EQ(RotateStoppedText(), u"轮换代理已停止"_s);
  // The first port still serves; stopped, it is free again.
  EXPECT_TRUE(proxy.Running());
  proxy.Stop();
  EXPECT_FALSE(proxy.Running());
  EXPECT_FALSE(second.Start(options));
}

}  // namespace
}  // namespace ph
