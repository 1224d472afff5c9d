// Whole validation runs against a farm of fake proxies on loopback, measured beside a bare
// libcurl loop on the same farm, so every figure is also a ratio that holds on a noisy machine.
#include "api/api_server.h"
#include "api_hammer.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "null_window.h"
#include "support/http_fixtures.h"
#include "support/proxy_farm.h"
#include "validate/probe.h"
#include "validate/validation_run.h"
#include "whole_run.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <curl/curl.h>

#include <atomic>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using bench::RunFigures;
using bench::RunSetting;
using bench::WholeRun;

constexpr int kWorkers = 100;
const char* const kUrl = "http://2019.ip138.com/ic.asp";

std::vector<std::string> FarmAddresses(test::ProxyFarm& farm, int delay_ms) {
  auto addresses = farm.Add({"<html>your address: [127.0.0.1]</html>", delay_ms, false}, 32);
  farm.Start(/*punctual=*/delay_ms > 0);
  return addresses;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// 100 threads, one easy handle per probe, the same URL through the same farm.
double BareLoopProbesPerSecond(const std::vector<std::string>& proxies, int probes) {
  std::atomic<int> next{0};
  QElapsedTimer clock;
  clock.start();
  std::vector<std::thread> threads;
  for (int t = 0; t < kWorkers; ++t) {
    threads.emplace_back([&] {
      for (int i; (i = next++) < probes;) {
        CURL* handle = curl_easy_init();
        curl_easy_setopt(handle, CURLOPT_URL, kUrl);
        curl_easy_setopt(handle, CURLOPT_PROXY,
                         proxies[static_cast<std::size_t>(i) % proxies.size()].c_str());
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Discard);
        curl_easy_perform(handle);
        curl_easy_cleanup(handle);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  return probes * 1000.0 / std::max<qint64>(clock.elapsed(), 1);
}

// 50,000 entries in a whole run beside the bare loop, which gets the proxies as libcurl
// takes them.
void RunBesideBareLoop(benchmark::State& state, const std::vector<std::string>& entries,
                       const std::vector<std::string>& curl_proxies, int high_speed = 0) {
  RunSetting setting;
  setting.high_speed = high_speed;
  for (auto _ : state) {
    const double bare = BareLoopProbesPerSecond(curl_proxies, 50000);
    const RunFigures run = WholeRun(entries, 50000, setting);
    state.counters["bare_loop_per_s"] = bare;
    state.counters["run_per_s"] = run.probes_per_second;
    state.counters["ratio_to_bare"] = run.probes_per_second / bare;
    state.counters["probing_per_s"] = run.probing_per_second;
    state.counters["successes"] = run.successes;
  }
}

// At TestThreads (100), and with 高速验证 at its default 2000 probes at once.
void BM_RunAgainstInstantProxies(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = FarmAddresses(farm, 0);
  RunBesideBareLoop(state, proxies, proxies, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_RunAgainstInstantProxies)
    ->Arg(0)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// The same run while 200 clients keep asking the control API, which answers on the window's
// thread too.
void BM_RunAgainstInstantProxiesWhileTheApiIsBusy(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = FarmAddresses(farm, 0);
  RunSetting busy;
  int answers = 0;
  busy.beside = [&answers](AppState& app) -> std::function<void()> {
    const uint16_t port = test::ClosedPort();
    app.Config().SetText(&SettingsPanel::Text8, QString::number(port));
    auto api = std::make_shared<ApiServer>(app, bench::CountAnswerer(app));
    api->StartOrStop();
    auto hammer = std::make_shared<bench::Hammer>(port, ApiServer::kMostClients);
    return [api, hammer, &answers] {
      hammer->Stop();
      answers = static_cast<int>(hammer->Latencies().size());
    };
  };
  for (auto _ : state) {
    const RunFigures quiet = WholeRun(proxies, 50000);
    const RunFigures loaded = WholeRun(proxies, 50000, busy);
    state.counters["quiet_run_per_s"] = quiet.probes_per_second;
    state.counters["busy_run_per_s"] = loaded.probes_per_second;
    state.counters["busy_to_quiet"] = loaded.probes_per_second / quiet.probes_per_second;
    state.counters["api_answers_per_s"] = answers * 1000.0 / std::max<qint64>(loaded.total_ms, 1);
  }
}
BENCHMARK(BM_RunAgainstInstantProxiesWhileTheApiIsBusy)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_RunAgainstProxiesThatAnswerAfter50ms(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = FarmAddresses(farm, 50);
  for (auto _ : state) {
    const RunFigures run = WholeRun(proxies, 10000);
    state.counters["run_per_s"] = run.probes_per_second;
    state.counters["ratio_to_ideal_2000"] = run.probes_per_second / 2000.0;
    state.counters["probing_per_s"] = run.probing_per_second;
    state.counters["mean_probe_ms"] = run.mean_probe_ms;
  }
}
BENCHMARK(BM_RunAgainstProxiesThatAnswerAfter50ms)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// SOCKS5 entries on an instant SOCKS5 farm, beside the bare loop through the same farm (as
// the probe does, the proxy resolves the test host: no name lookup on either side).
void BM_RunOfSocks5EntriesAgainstInstantSocksProxies(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = farm.Add({"<html>your address: [127.0.0.1]</html>", 0, false, true}, 32);
  farm.Start();
  std::vector<std::string> curl_proxies;
  for (const std::string& proxy : proxies) curl_proxies.push_back("socks5h" + proxy.substr(6));
  RunBesideBareLoop(state, proxies, curl_proxies);
}
BENCHMARK(BM_RunOfSocks5EntriesAgainstInstantSocksProxies)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// The same run with and without the anonymity check: a loopback judge answers the direct
// request, and every proxy answers the judge request through it after 50 ms like the test.
void BM_RunWithAndWithoutAnonymityCheckAt50ms(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = FarmAddresses(farm, 50);
  test::JudgeServer judge;
  QTemporaryDir dir;
  QFile ini(dir.filePath(u"endpoints.ini"_s));
  if (ini.open(QIODevice::WriteOnly)) ini.write(("judge=" + judge.Url() + "\n").c_str());
  ini.close();
  for (auto _ : state) {
    const int64_t before = farm.Answered();
    const RunFigures off = WholeRun(proxies, 10000, {dir.path(), false, nullptr});
    const int64_t between = farm.Answered();
    const RunFigures on = WholeRun(proxies, 10000, {dir.path(), true, nullptr});
    state.counters["off_ms"] = static_cast<double>(off.total_ms);
    state.counters["on_ms"] = static_cast<double>(on.total_ms);
    state.counters["on_to_off"] =
        static_cast<double>(on.total_ms) / std::max<qint64>(off.total_ms, 1);
    state.counters["successes_on"] = on.successes;
    state.counters["proxy_requests_off"] = static_cast<double>(between - before);
    state.counters["proxy_requests_on"] = static_cast<double>(farm.Answered() - between);
    state.counters["direct_judge_requests"] = judge.Requests();
  }
}
BENCHMARK(BM_RunWithAndWithoutAnonymityCheckAt50ms)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_RunOn100kRows(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = FarmAddresses(farm, 0);
  for (auto _ : state) {
    const RunFigures run = WholeRun(proxies, 100000);
    state.counters["run_start_ms"] = static_cast<double>(run.start_ms);
    state.counters["longest_tick_ms"] = static_cast<double>(run.longest_tick_ms);
    state.counters["run_per_s"] = run.probes_per_second;
  }
}
BENCHMARK(BM_RunOn100kRows)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace ph

namespace ph {
namespace {

// One probe after another through a proxy that answers after 50 ms: what a worker adds to the
// proxy's own delay.
void BM_SequentialProbesThrough50msProxy(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto proxies = FarmAddresses(farm, 50);
  ProbeSettings settings;
  settings.test_http = true;
  settings.timeout_ms = 5000;
  settings.http_url = QString::fromLatin1(kUrl);
  auto slot = std::make_shared<ProbeSettingsSlot>();
  slot->Publish(std::make_shared<const ProbeSettings>(settings));
  ProbeEngine engine;
  const QString proxy = QString::fromStdString(proxies[0]);
  for (auto _ : state) {
    auto run = std::make_shared<RunState>(1, slot);
    run->test_running = true;
    engine.Add(run, {{1, proxy}});
    while (run->pending > 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    benchmark::DoNotOptimize(run->results.Take());
  }
}
BENCHMARK(BM_SequentialProbesThrough50msProxy)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->UseRealTime();

}  // namespace
}  // namespace ph
