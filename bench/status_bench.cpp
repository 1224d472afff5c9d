// The status listener: "/status.json" and "/metrics" over a list of 100,000 rows, rendered and
// asked for over loopback; and whole validation runs while 50 browsers refresh the page every
// 2 s, beside the same run without them, so the cost is a ratio measured in one run.
#include "core/app_state.h"
#include "core/literals.h"
#include "core/proxy_list.h"
#include "null_window.h"
#include "status/metrics_text.h"
#include "status/status_board.h"
#include "status/status_json.h"
#include "status/status_listener.h"
#include "support/loopback_server.h"
#include "support/proxy_farm.h"
#include "whole_run.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 100000;

// 100,000 rows as a day of harvests leaves them: three protocols, four levels, three results
// and 3,000 regions.
std::vector<NewRow> VariedRows(int count) {
  const QString levels[] = {{}, u"高匿"_s, u"普通匿名"_s, u"透明"_s};
  const QString results[] = {{}, kSuccessText, kFailureText};
  const QString schemes[] = {{}, u"socks4://"_s, u"socks5://"_s};
  std::vector<NewRow> rows(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    NewRow& row = rows[static_cast<std::size_t>(i)];
    row[kAddress - 1] =
        schemes[i % 3] + u"10.%1.%2.%3:8080"_s.arg(i >> 16).arg(i >> 8 & 255).arg(i & 255);
    row[kRegion - 1] = u"地区 %1 电信"_s.arg(i % 3000);
    row[kProxyType - 1] = levels[i % 4];
    row[kTestResult - 1] = results[i % 7 % 3];
  }
  return rows;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One keep-alive connection that asks for a path and reads the whole answer, on the calling
// thread (the listener answers on the main thread's event loop).
class KeepAliveClient {
 public:
  explicit KeepAliveClient(uint16_t port) : fd_(test::ConnectLoopback(port)) {}
  ~KeepAliveClient() {
    if (fd_ >= 0) close(fd_);
  }
  // The body's length, or -1.
  long long Get(const std::string& path) {
    if (fd_ < 0 || !test::WriteAll(fd_, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n")) return -1;
    std::string got;
    char buffer[65536];
    while (true) {
      const std::size_t end = got.find("\r\n\r\n");
      if (end != std::string::npos) {
        const std::size_t at = got.find("Content-Length: ");
        const long long length = std::stoll(got.substr(at + 16));
        if (got.size() >= end + 4 + static_cast<std::size_t>(length)) return length;
      }
      const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
      if (n <= 0) return -1;
      got.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  int fd_;
};

struct Listening {
  bench::NullWindow window;
  AppState app{window, ProgramDir(u"/nonexistent"_s)};
  StatusBoard board{app, {}};
  StatusListener listener{board};
};

// One answer's body made over and over, each time measured.
void Render(benchmark::State& state, QByteArray (*render)(const StatusBoard&)) {
  Listening l;
  l.app.List().AppendRows(VariedRows(kRows));
  std::vector<double> ms;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    benchmark::DoNotOptimize(render(l.board));
    ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  state.counters["median_ms"] = Median(ms);
  state.counters["bytes"] = static_cast<double>(render(l.board).size());
}

void BM_StatusJsonOf100kRows(benchmark::State& state) { Render(state, &StatusJson); }
BENCHMARK(BM_StatusJsonOf100kRows)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_MetricsOf100kRows(benchmark::State& state) { Render(state, &MetricsText); }
BENCHMARK(BM_MetricsOf100kRows)->Unit(benchmark::kMillisecond)->Iterations(200);

// A request over loopback and its whole answer, as a scraper or a browser sees it: a client
// thread asks, the listener answers from the main thread's event loop.
void AskOverLoopback(benchmark::State& state, const std::string& path) {
  Listening l;
  l.app.List().AppendRows(VariedRows(kRows));
  if (l.listener.Start({u"127.0.0.1"_s, 0, {}})) {
    state.SkipWithError("no listener");
    return;
  }
  const uint16_t port = l.listener.Port();
  std::vector<double> ms;
  for (auto _ : state) {
    std::atomic<bool> done{false};
    std::thread client([&] {
      KeepAliveClient asker(port);
      for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        if (asker.Get(path) < 0) break;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      }
      done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    client.join();
  }
  state.counters["median_ms"] = Median(ms);
  state.counters["requests"] = static_cast<double>(ms.size());
}

void BM_StatusJsonOver_loopback_100kRows(benchmark::State& state) {
  AskOverLoopback(state, "/status.json");
}
BENCHMARK(BM_StatusJsonOver_loopback_100kRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_MetricsOver_loopback_100kRows(benchmark::State& state) {
  AskOverLoopback(state, "/metrics");
}
BENCHMARK(BM_MetricsOver_loopback_100kRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// Browsers with the page open: each loads "/" once, then asks for "/status.json" every 2 s on
// its keep-alive connection, their starts spread over the 2 s.
class Browsers {
 public:
  Browsers(uint16_t port, int count) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this, port, i, count] {
        Browse(port, std::chrono::milliseconds(2000 * i / count));
        ++finished_;
      });
    }
  }
  ~Browsers() { Stop(); }
  // A browser waiting for its answer gets it from the main thread's events; each ends within
  // its 2 s sleep.
  void Stop() {
    stop_ = true;
    while (finished_ < static_cast<int>(threads_.size()))
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }
  std::vector<double> Latencies() {
    std::lock_guard lock(mutex_);
    return latencies_ms_;
  }

 private:
  void Browse(uint16_t port, std::chrono::milliseconds offset) {
    KeepAliveClient browser(port);
    auto next = Clock::now() + offset;
    if (browser.Get("/") < 0) return;
    while (!stop_) {
      std::this_thread::sleep_until(next);
      next += std::chrono::seconds(2);
      const auto start = Clock::now();
      if (browser.Get("/status.json") < 0) return;
      const double took = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      std::lock_guard lock(mutex_);
      latencies_ms_.push_back(took);
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> finished_{0};
  std::mutex mutex_;
  std::vector<double> latencies_ms_;
  std::vector<std::thread> threads_;
};

void BM_RunWhile50BrowsersRefreshEvery2s(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = farm.Add({"<html>your address: [127.0.0.1]</html>", 0, false}, 32);
  farm.Start();
  constexpr int kEntries = 100000;
  int refreshes = 0;
  double refresh_median_ms = 0;
  bench::RunSetting with_board;
  std::unique_ptr<StatusBoard> board;
  with_board.beside = [&board](AppState& app) -> std::function<void()> {
    board = std::make_unique<StatusBoard>(app, StatusFeeds{});
    return [&board] { board.reset(); };
  };
  bench::RunSetting browsed;
  browsed.beside = [&](AppState& app) -> std::function<void()> {
    auto shared_board = std::make_shared<StatusBoard>(app, StatusFeeds{});
    auto listener = std::make_shared<StatusListener>(*shared_board);
    listener->Start({u"127.0.0.1"_s, 0, {}});
    auto browsers = std::make_shared<Browsers>(listener->Port(), 50);
    return [shared_board, listener, browsers, &refreshes, &refresh_median_ms] {
      browsers->Stop();
      refreshes = static_cast<int>(browsers->Latencies().size());
      refresh_median_ms = Median(browsers->Latencies());
    };
  };
  for (auto _ : state) {
    const bench::RunFigures quiet = bench::WholeRun(proxies, kEntries);
    const bench::RunFigures counted = bench::WholeRun(proxies, kEntries, with_board);
    const bench::RunFigures loaded = bench::WholeRun(proxies, kEntries, browsed);
    state.counters["quiet_ms"] = static_cast<double>(quiet.total_ms);
    state.counters["board_ms"] = static_cast<double>(counted.total_ms);
    state.counters["browsed_ms"] = static_cast<double>(loaded.total_ms);
    state.counters["board_to_quiet"] =
        static_cast<double>(counted.total_ms) / std::max<qint64>(quiet.total_ms, 1);
    state.counters["browsed_to_quiet"] =
        static_cast<double>(loaded.total_ms) / std::max<qint64>(quiet.total_ms, 1);
    state.counters["refreshes"] = refreshes;
    state.counters["refresh_median_ms"] = refresh_median_ms;
  }
}
BENCHMARK(BM_RunWhile50BrowsersRefreshEvery2s)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace ph
