// The control API under load: 200 loopback clients asking "getcount" over and over, and the
// "getip" body of a large list.
#include "api/api_server.h"
#include "api/getip.h"
#include "api_hammer.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "null_window.h"
#include "support/loopback_server.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

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
  ApiServer api(app, bench::CountAnswerer(app));
  if (api.StartOrStop()) {
    state.SkipWithError("the API did not start");
    return;
  }
  constexpr int kSeconds = 5;
  for (auto _ : state) {
    bench::Hammer hammer(port, ApiServer::kMostClients);
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
