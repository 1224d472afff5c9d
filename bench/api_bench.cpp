// The control API under load: 200 loopback clients asking "getcount" over and over, and the
// "getip" body of a large list.
#include "api/api_server.h"
#include "api/getip.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "null_window.h"
#include "support/loopback_server.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

// One request on a fresh connection; true when an answer came before the close.
bool AskOnce(uint16_t port) {
  const int fd = test::ConnectLoopback(port);
  if (fd < 0) return false;
  test::WriteAll(fd, "GET /api.zx?UseKey&getcount& HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  char buffer[512];
  std::size_t got = 0;
  for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;)
    got += static_cast<std::size_t>(n);
  close(fd);
  return got > 0;
}

// Clients on threads of their own, each asking again as soon as its answer is in.
class Hammer {
 public:
  Hammer(uint16_t port, int clients) {
    for (int i = 0; i < clients; ++i) {
      ++running_;
      threads_.emplace_back([this, port] {
        while (!stop_) {
          const auto start = Clock::now();
          const bool answered = AskOnce(port);
          const auto took = std::chrono::duration<double, std::milli>(Clock::now() - start);
          std::lock_guard lock(mutex_);
          if (answered) latencies_ms_.push_back(took.count());
        }
        --running_;
      });
    }
  }
  ~Hammer() { Stop(); }
  // The API answers on this thread: its events run until the last client has its answer.
  void Stop() {
    stop_ = true;
    while (running_ > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }
  std::vector<double> Latencies() {
    std::lock_guard lock(mutex_);
    return latencies_ms_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> running_{0};
  std::mutex mutex_;
  std::vector<double> latencies_ms_;
  std::vector<std::thread> threads_;
};

void RunEventsFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void BM_TwoHundredClientsAskingGetcount(benchmark::State& state) {
  bench::NullWindow window;
  AppState app(window, ProgramDir(u"/nonexistent"_s));
  app.Startup();
  const uint16_t port = test::ClosedPort();
  app.Config().SetText(&SettingsPanel::Text8, QString::number(port));
  ApiServer api(app, [](QStringView) { return true; });
  if (api.ToggleApi()) {
    state.SkipWithError("the API did not start");
    return;
  }
  constexpr int kSeconds = 5;
  for (auto _ : state) {
    Hammer hammer(port, ApiServer::kMostClients);
    RunEventsFor(kSeconds * 1000);
    hammer.Stop();
    std::vector<double> latencies = hammer.Latencies();
    std::sort(latencies.begin(), latencies.end());
    state.counters["answers_per_s"] = static_cast<double>(latencies.size()) / kSeconds;
    state.counters["p50_ms"] = latencies.empty() ? 0 : latencies[latencies.size() / 2];
    state.counters["p99_ms"] = latencies.empty() ? 0 : latencies[latencies.size() * 99 / 100];
  }
}
BENCHMARK(BM_TwoHundredClientsAskingGetcount)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

ProxyList& LargeList() {
  static ProxyList list;
  if (list.RowCount() == 0) {
    std::vector<NewRow> rows(100000);
    for (int i = 0; i < 100000; ++i) {
      NewRow& row = rows[static_cast<std::size_t>(i)];
      row[kAddress - 1] = u"10.%1.%2.1:8080"_s.arg(i / 256).arg(i % 256);
      row[kRegion - 1] = u"广东省广州市 电信"_s;
      row[kSuccessRatio - 1] = QString::number(i % 101) + u'%';
    }
    list.AppendRows(rows);
  }
  return list;
}

void BM_GetIpAllRowsWithRatioFilter100k(benchmark::State& state) {
  const ProxyList& list = LargeList();
  std::mt19937 random(1);
  for (auto _ : state) benchmark::DoNotOptimize(BuildGetIpBody(list, 0, 0, 50, true, random));
}
BENCHMARK(BM_GetIpAllRowsWithRatioFilter100k)->Unit(benchmark::kMillisecond);

void BM_GetIpRandom100Of100k(benchmark::State& state) {
  const ProxyList& list = LargeList();
  std::mt19937 random(1);
  for (auto _ : state) benchmark::DoNotOptimize(BuildGetIpBody(list, 0, 100, 0, true, random));
}
BENCHMARK(BM_GetIpRandom100Of100k)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ph
