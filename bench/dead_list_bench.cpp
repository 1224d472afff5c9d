// A mostly dead list, as public lists are: of 10,000 entries 3,000 refuse, 3,000 never answer
// the connection (nftables drops the SYN), 3,000 accept and never answer, and 1,000 work. The
// SYNs are dropped in a network namespace of the benchmark's own: run it with
// bench/dead_list.sh, which makes one and runs this inside as its root.
#include "support/http_fixtures.h"
#include "support/loopback_server.h"
#include "support/proxy_farm.h"
#include "validate/probe_engine.h"
#include "whole_run.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>

#include <chrono>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Ports on which nothing listens and every SYN is dropped.
constexpr uint16_t kFirstDroppedPort = 1000;
constexpr uint16_t kDroppedPorts = 100;

bool Nft(const QString& script) {
  QProcess nft;
  nft.start(u"nft"_s, {u"-f"_s, u"-"_s});
  nft.write(script.toUtf8());
  nft.closeWriteChannel();
  return nft.waitForFinished(5000) && nft.exitStatus() == QProcess::NormalExit &&
         nft.exitCode() == 0;
}

// Drops SYNs to the ports for as long as it lives.
class DroppedSyns {
 public:
  DroppedSyns()
      : ok_(Nft(u"table inet ph_bench {\n chain input {\n  type filter hook input priority 0;\n"
                "  tcp dport %1-%2 tcp flags syn drop\n }\n}\n"_s.arg(kFirstDroppedPort)
                    .arg(kFirstDroppedPort + kDroppedPorts - 1))) {}
  ~DroppedSyns() {
    if (ok_) Nft(u"delete table inet ph_bench\n"_s);
  }
  bool Ok() const { return ok_; }

 private:
  bool ok_;
};

// The 10,000 entries, the kinds mixed as a list mixes them.
std::vector<std::string> DeadList(test::ProxyFarm& farm) {
  const auto live = farm.Add({"<html>your address: [127.0.0.1]</html>", 0, false}, 32);
  const auto silent = farm.Add({"", 0, true}, 100);
  farm.Start();
  std::vector<std::string> refused;
  for (int i = 0; i < 100; ++i)
    refused.push_back("127.0.0.1:" + std::to_string(test::ClosedPort()));
  std::vector<std::string> entries;
  for (std::size_t i = 0; i < 10000; ++i) {
    const std::size_t n = i / 10;
    switch (i % 10) {
      case 0:
      case 1:
      case 2:
        entries.push_back(refused[n % refused.size()]);
        break;
      case 3:
      case 4:
      case 5:
        entries.push_back("127.0.0.1:" + std::to_string(kFirstDroppedPort + n % kDroppedPorts));
        break;
      case 6:
      case 7:
      case 8:
        entries.push_back(silent[n % silent.size()]);
        break;
      default:
        entries.push_back(live[n % live.size()]);
    }
  }
  return entries;
}

// At TestThreads (100, the window's default), and with 高速验证 at 2000 and 6000 probes at once;
// time-out 5 s.
void BM_DeadListOf10000(benchmark::State& state) {
  DroppedSyns dropped;
  if (!dropped.Ok()) {
    state.SkipWithError("needs root in a network namespace of its own: bench/dead_list.sh");
    return;
  }
  test::ProxyFarm farm;
  const std::vector<std::string> entries = DeadList(farm);
  bench::RunSetting setting;
  setting.high_speed = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const bench::RunFigures run = bench::WholeRun(entries, 10000, setting);
    state.counters["run_s"] = static_cast<double>(run.total_ms) / 1000.0;
    state.counters["successes"] = run.successes;
    state.counters["longest_tick_ms"] = static_cast<double>(run.longest_tick_ms);
  }
}
BENCHMARK(BM_DeadListOf10000)
    ->Arg(0)
    ->Arg(2000)
    ->Arg(6000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// Resident memory of this process, in KiB.
long ResidentKiB() {
  QFile status(u"/proc/self/status"_s);
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return 0;
}

// 5,000 probes under way at once, each waiting on a proxy that accepted and never answers:
// what a probe in flight costs in memory.
void BM_MemoryOf5000ProbesInFlight(benchmark::State& state) {
  test::ProxyFarm farm;
  const auto silent = farm.Add({"", 0, true}, 100);
  farm.Start();
  constexpr int kProbes = 5000;
  auto slot = std::make_shared<ProbeSettingsSlot>();
  ProbeSettings settings;
  settings.test_http = true;
  settings.timeout_ms = 60000;
  settings.http_url = u"http://2019.ip138.com/ic.asp"_s;
  slot->Publish(std::make_shared<const ProbeSettings>(settings));
  for (auto _ : state) {
    ProbeEngine engine;
    engine.SetConcurrency(kProbes);
    const long idle = ResidentKiB();
    auto run = std::make_shared<RunState>(1, slot);
    run->test_running = true;
    std::vector<ProbeJob> jobs;
    for (int i = 0; i < kProbes; ++i)
      jobs.push_back({static_cast<RowId>(i + 1),
                      QString::fromStdString(silent[static_cast<std::size_t>(i) % silent.size()])});
    engine.Add(run, std::move(jobs));
    while (engine.InFlight() < kProbes) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // every request has gone out
    const long busy = ResidentKiB();
    state.counters["kib_per_probe"] = static_cast<double>(busy - idle) / kProbes;
    run->test_running = false;
    engine.DropStopped();
    while (engine.InFlight() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
BENCHMARK(BM_MemoryOf5000ProbesInFlight)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace ph
