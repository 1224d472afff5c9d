// The rotating port: its pool rebuilt from a large list, a large download and many small
// requests through it against the same through its upstream directly, and the memory its
// idle tunnels hold. Run on loopback, machine of 2 cores: clients, port, upstream and origin
// share them, as they would on one box.
#include "core/proxy_list.h"
#include "rotate/http_message.h"
#include "rotate/pool_rows.h"
#include "rotate/rotating_proxy.h"
#include "support/http_fixtures.h"
#include "support/list_rows.h"
#include "support/loopback_server.h"
#include "support/process_memory.h"
#include "support/proxy_farm.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

void BM_PoolFromList100kRows(benchmark::State& state) {
  ProxyList list;
  list.AppendRows(test::ValidatedRows(100000, 100000, u"北京 电信"_s));
  for (auto _ : state) benchmark::DoNotOptimize(PoolFromList(list, 50));
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_PoolFromList100kRows)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// An origin that keeps its connections: "/bytes/N" answers N bytes, anything else 1 KiB.
class Origin {
 public:
  Origin() : block_(256 * 1024, 'x'), server_([this](int fd) { Serve(fd); }) {}
  uint16_t Port() const { return server_.Port(); }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
  }

 private:
  void Serve(int fd) {
    while (true) {
      const std::string head = test::ReadHead(fd, 30000);
      if (head.find("\r\n\r\n") == std::string::npos) return;
      const std::size_t bytes_at = head.find("/bytes/");
      const uint64_t size =
          bytes_at == std::string::npos ? 1024 : std::stoull(head.substr(bytes_at + 7));
      if (!test::WriteAll(
              fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n"))
        return;
      for (uint64_t sent = 0; sent < size;) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<uint64_t>(block_.size(), size - sent));
        if (!test::WriteAll(fd, std::string_view(block_).substr(0, piece))) return;
        sent += piece;
      }
    }
  }

  std::string block_;
  test::LoopbackServer server_;
};

RotateOptions BenchOptions(bool splice) {
  RotateOptions options;
  options.port = 0;
  options.splice = splice;
  options.max_connections = 8000;
  options.idle_timeout_ms = 600000;
  options.handshake_timeout_ms = 600000;
  return options;
}

// One GET of url through the HTTP proxy at port, its answer read to the end of its body
// (the upstream may keep the connection) and dropped; the bytes of the body.
uint64_t Download(uint16_t port, const std::string& url) {
  const int fd = test::ConnectLoopback(port);
  test::WriteAll(fd, "GET " + url + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  std::vector<char> buffer(256 * 1024);
  std::string head;
  uint64_t body = 0;
  std::optional<ResponseInfo> info;
  while (!info || body < info->body.length) {
    const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) break;
    if (info) {
      body += static_cast<uint64_t>(got);
      continue;
    }
    head.append(buffer.data(), static_cast<std::size_t>(got));
    const std::size_t length = HeadLength(head);
    if (length == 0) continue;
    info = ParseResponseHead(std::string_view(head).substr(0, length), false);
    if (!info) break;
    body = head.size() - length;
  }
  close(fd);
  return body;
}

// tinyproxy on a free loopback port, as long as the object lives; Port() 0 when it could
// not be started.
class Tinyproxy {
 public:
  Tinyproxy() {
    const uint16_t port = test::ClosedPort();
    const QString config = dir_.filePath(u"tinyproxy.conf"_s);
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 600\nMaxClients 100\n"
                              "Allow 127.0.0.1\nLogLevel Error\n")
                   .arg(port)
                   .toUtf8());
    file.close();
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(u"tinyproxy"_s, {u"-d"_s, u"-c"_s, config});
    if (!process_.waitForStarted(5000)) return;
    for (int i = 0; i < 100; ++i) {
      const int fd = test::ConnectLoopback(port);
      if (fd >= 0) {
        close(fd);
        port_ = port;
        return;
      }
      usleep(20000);
    }
  }
  ~Tinyproxy() {
    process_.terminate();
    process_.waitForFinished(5000);
  }
  uint16_t Port() const { return port_; }

 private:
  QTemporaryDir dir_;
  QProcess process_;
  uint16_t port_ = 0;
};

// A 1 GiB download through an upstream (first argument: 0 a minimal forwarding proxy of
// the tests, 1 tinyproxy) directly (second argument 0) or through the port with splice (1)
// or with its buffers only (2).
void BM_Download1GiB(benchmark::State& state) {
  constexpr uint64_t kBytes = 1ull << 30;
  Origin origin;
  test::FakeProxy fake;
  std::unique_ptr<Tinyproxy> tinyproxy;
  uint16_t upstream = fake.Port();
  if (state.range(0) == 1) {
    tinyproxy = std::make_unique<Tinyproxy>();
    upstream = tinyproxy->Port();
    if (upstream == 0) return state.SkipWithError("tinyproxy could not be started");
  }
  RotatingProxy proxy;
  uint16_t port = upstream;
  if (state.range(1) > 0) {
    proxy.Start(BenchOptions(state.range(1) == 1));
    proxy.SetPool(std::make_shared<const Pool>(std::vector<Upstream>{
        Upstream{1, UpstreamProtocol::kHttp, 0x7F000001, upstream, 1, Anonymity::kElite, {}}}));
    port = proxy.Port();
  }
  const std::string url = origin.Url("/bytes/" + std::to_string(kBytes));
  for (auto _ : state) {
    const uint64_t got = Download(port, url);
    if (got < kBytes) state.SkipWithError("short download");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_Download1GiB)
    ->ArgNames({"tinyproxy", "direct0_splice1_copy2"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

// Clients that each send a request, wait for its whole answer (a 1 KiB body), wait
// think_ms and send the next on the same connection; the time of every request in
// microseconds, sorted. Without a pause the clients keep the machine saturated and a request's
// time is mostly its wait in the queues; with one it is mostly the work along the way.
std::vector<double> Latencies(uint16_t port, const std::string& url, int clients, int requests,
                              int think_ms) {
  const std::string request = "GET " + url + " HTTP/1.1\r\nHost: x\r\n\r\n";
  constexpr Clock::time_point kWaiting = Clock::time_point::max();
  struct Client {
    int fd = -1;
    std::size_t received = 0;
    std::size_t expected = 0;
    Clock::time_point sent;
    Clock::time_point due = kWaiting;  // when the next request goes
  };
  std::vector<Client> all(static_cast<std::size_t>(clients));
  const int epoll = epoll_create1(EPOLL_CLOEXEC);
  int started = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i].fd = test::ConnectLoopback(port);
    // As curl and browsers do: a request leaves at once.
    const int on = 1;
    setsockopt(all[i].fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = i;
    epoll_ctl(epoll, EPOLL_CTL_ADD, all[i].fd, &event);
  }
  // Spread over the pause, so the clients do not all send at the same moment.
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < all.size(); ++i)
    all[i].due =
        start + std::chrono::microseconds(1000 * think_ms * static_cast<int64_t>(i) / clients);
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(requests));
  char buffer[65536];
  epoll_event events[256];
  while (static_cast<int>(latencies.size()) < requests) {
    Clock::time_point next = kWaiting;
    const Clock::time_point now = Clock::now();
    for (Client& client : all) {
      if (client.due <= now && started < requests) {
        client.due = kWaiting;
        client.received = 0;
        client.expected = 0;
        client.sent = now;
        ++started;
        test::WriteAll(client.fd, request);
      }
      next = std::min(next, client.due);
    }
    const int timeout =
        next == kWaiting
            ? 10000
            : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
    const int ready = epoll_wait(epoll, events, 256, std::max(timeout, 0));
    if (ready < 0 || (ready == 0 && next == kWaiting)) break;
    for (int i = 0; i < ready; ++i) {
      Client& client = all[events[i].data.u64];
      const ssize_t got = recv(client.fd, buffer, sizeof(buffer), 0);
      if (got <= 0) continue;
      client.received += static_cast<std::size_t>(got);
      if (client.expected == 0) {
        const std::size_t head =
            HeadLength(std::string_view(buffer, static_cast<std::size_t>(got)));
        if (head > 0) client.expected = head + 1024;
      }
      if (client.expected == 0 || client.received < client.expected) continue;
      const Clock::time_point done = Clock::now();
      latencies.push_back(std::chrono::duration<double, std::micro>(done - client.sent).count());
      client.due = done + std::chrono::milliseconds(think_ms);
    }
  }
  for (const Client& client : all) close(client.fd);
  close(epoll);
  std::sort(latencies.begin(), latencies.end());
  return latencies;
}

double Percentile(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

// Direct (relay threads 0) or through the port with 1 or 2 relay threads: 200 keep-alive
// clients, 1 KiB answers, each client pausing the first argument's milliseconds between its
// requests. The upstream answers itself, on one epoll thread, so that what the port adds is
// not lost in the noise of an upstream and an origin with a thread for every connection.
void BM_SmallRequests200Clients(benchmark::State& state) {
  constexpr int kClients = 200;
  const int think_ms = static_cast<int>(state.range(0));
  const int requests = think_ms == 0 ? 40000 : 20000;
  test::ProxyFarm upstream;
  const std::string address = upstream.Add({std::string(1024, 'x'), 0, false, false, true}, 1)[0];
  upstream.Start();
  uint16_t port = static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)));
  RotatingProxy proxy;
  if (state.range(1) > 0) {
    RotateOptions options = BenchOptions(true);
    options.relay_threads = static_cast<int>(state.range(1));
    proxy.Start(options);
    proxy.SetPool(std::make_shared<const Pool>(std::vector<Upstream>{
        Upstream{1, UpstreamProtocol::kHttp, 0x7F000001, port, 1, Anonymity::kElite, {}}}));
    port = proxy.Port();
  }
  std::vector<double> latencies;
  for (auto _ : state) {
    latencies = Latencies(port, "http://origin.test/small", kClients, requests, think_ms);
    if (static_cast<int>(latencies.size()) < requests)
      state.SkipWithError("requests went unanswered");
  }
  state.counters["p50_us"] = Percentile(latencies, 0.50);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.SetItemsProcessed(state.iterations() * requests);
}
BENCHMARK(BM_SmallRequests200Clients)
    ->ArgNames({"pause_ms", "relays"})
    ->ArgsProduct({{0, 20}, {0, 1, 2}})
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A SOCKS5 upstream that grants every CONNECT and then holds the tunnel, in a process of its
// own so that its memory is not counted as the port's.
class HoldingUpstream {
 public:
  HoldingUpstream() {
    int report[2];
    if (pipe(report) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      test::ProxyFarm farm;
      const std::string address = farm.Add({"", 0, false, true}, 1)[0];
      const uint16_t port =
          static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)));
      farm.Start();
      [[maybe_unused]] const ssize_t written = write(report[1], &port, sizeof(port));
      pause();
      _exit(0);
    }
    [[maybe_unused]] const ssize_t got = read(report[0], &port_, sizeof(port_));
    close(report[0]);
    close(report[1]);
  }
  ~HoldingUpstream() {
    if (child_ <= 0) return;
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  uint16_t Port() const { return port_; }

 private:
  pid_t child_ = -1;
  uint16_t port_ = 0;
};

// Resident memory of the port per idle tunnel, with 5,000 open through it.
void BM_IdleTunnels5000(benchmark::State& state) {
  constexpr int kTunnels = 5000;
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < 3 * kTunnels + 500) {
    state.SkipWithError("the open-file limit is too low for 5,000 tunnels");
    return;
  }
  HoldingUpstream upstream;
  for (auto _ : state) {
    RotatingProxy proxy;
    proxy.Start(BenchOptions(state.range(0) == 1));
    proxy.SetPool(std::make_shared<const Pool>(std::vector<Upstream>{Upstream{
        1, UpstreamProtocol::kSocks5, 0x7F000001, upstream.Port(), 1, Anonymity::kElite, {}}}));
    // One tunnel first, so what every connection shares is there before the count.
    const int warm = test::ConnectLoopback(proxy.Port());
    test::WriteAll(warm, "CONNECT 127.0.0.1:1 HTTP/1.1\r\n\r\n");
    test::ReadHead(warm);
    // Free memory of earlier runs goes back to the system first, or the tunnels would reuse
    // it unseen.
    malloc_trim(0);
    const long before = test::ResidentKib();
    std::vector<int> fds;
    for (int i = 0; i < kTunnels; ++i) {
      const int fd = test::ConnectLoopback(proxy.Port());
      test::WriteAll(fd, "CONNECT 127.0.0.1:1 HTTP/1.1\r\n\r\n");
      fds.push_back(fd);
    }
    int open = 0;
    for (const int fd : fds) open += test::ReadHead(fd).rfind("HTTP/1.1 200", 0) == 0 ? 1 : 0;
    const long after = test::ResidentKib();
    if (open < kTunnels) state.SkipWithError("not every tunnel opened");
    state.counters["kib_per_tunnel"] = static_cast<double>(after - before) / kTunnels;
    for (const int fd : fds) close(fd);
    close(warm);
  }
}
BENCHMARK(BM_IdleTunnels5000)
    ->ArgName("splice")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace ph
