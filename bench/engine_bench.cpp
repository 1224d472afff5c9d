// The probe engine alone against instant proxies on loopback: how many probes a second it
// completes with a given number of threads and probes at once, without the list and the window.
#include "support/proxy_farm.h"
#include "validate/probe_engine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

void BM_EngineAgainstInstantProxies(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const int at_once = static_cast<int>(state.range(1));
  test::ProxyFarm farm;
  const auto proxies = farm.Add({"<html>your address: [127.0.0.1]</html>", 0, false}, 32);
  farm.Start();
  auto slot = std::make_shared<ProbeSettingsSlot>();
  ProbeSettings settings;
  settings.test_http = true;
  settings.timeout_ms = 5000;
  settings.http_url = u"http://2019.ip138.com/ic.asp"_s;
  slot->Publish(std::make_shared<const ProbeSettings>(settings));
  constexpr int kProbes = 50000;
  std::vector<ProbeJob> jobs;
  for (int i = 0; i < kProbes; ++i)
    jobs.push_back({static_cast<RowId>(i + 1),
                    QString::fromStdString(proxies[static_cast<std::size_t>(i) % proxies.size()])});
  for (auto _ : state) {
    ProbeEngine engine(threads);
    engine.SetConcurrency(at_once);
    auto run = std::make_shared<RunState>(1, slot);
    run->test_running = true;
    const auto started = std::chrono::steady_clock::now();
    engine.Add(run, jobs);
    while (run->pending > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      run->results.Take();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    state.counters["probes_per_s"] = kProbes / seconds;
  }
}
BENCHMARK(BM_EngineAgainstInstantProxies)
    ->Args({1, 100})
    ->Args({1, 2000})
    ->Args({2, 100})
    ->Args({2, 2000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace ph
