// Addresses out of a large public list, as a harvest takes them on the window's thread:
// extraction, dropping the ones seen, and the address cells; time and peak memory.
#include "harvest/list_addresses.h"
#include "harvest/list_sources.h"

#include <benchmark/benchmark.h>

#include <QFile>

#include <malloc.h>

#include <limits>
#include <random>
#include <string>

namespace ph {
namespace {

// Peak resident memory of this process in kB since the last reset.
long PeakKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return 0;
}

// Makes the peak start again from what is resident now, once the heap has given back what
// earlier rounds freed.
void ResetPeak() {
  malloc_trim(0);
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

// 500,000 addresses, one a line, 10 MB, in the shape of the lists volunteers publish.
const QByteArray& TenMegabyteList() {
  static const QByteArray list = [] {
    std::mt19937 random(17);
    std::string text;
    text.reserve(10'500'000);
    for (int i = 0; i < 500000; ++i) {
      text += std::to_string(random() % 223 + 1) + '.' + std::to_string(random() % 256) + '.' +
              std::to_string(random() % 256) + '.' + std::to_string(random() % 256) + ':' +
              std::to_string(random() % 64512 + 1024) + "\r\n";
    }
    return QByteArray::fromStdString(text);
  }();
  return list;
}

void ExtractIntoCells(benchmark::State& state, std::size_t most) {
  const QByteArray& list = TenMegabyteList();
  long growth_kb = 0;
  std::size_t cells = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ResetPeak();
    const long before = PeakKb();
    state.ResumeTiming();
    ListExtract found = ExtractListAddresses(list, ListProtocol::Http, most);
    SeenAddresses seen;
    DropSeen(found.addresses, seen);
    std::vector<QString> texts;
    texts.reserve(found.addresses.size());
    for (const ListAddress& address : found.addresses) texts.push_back(address.Cell());
    benchmark::DoNotOptimize(texts.data());
    state.PauseTiming();
    growth_kb = std::max(growth_kb, PeakKb() - before);
    cells = texts.size();
    state.ResumeTiming();
  }
  state.counters["list_mb"] = static_cast<double>(list.size()) / 1e6;
  state.counters["cells"] = static_cast<double>(cells);
  state.counters["peak_rss_growth_mb"] = static_cast<double>(growth_kb) / 1024;
}

// What a harvest does with such a list: it stops at the most addresses a list may give.
void BM_ListOf10MegabytesAsAHarvestTakesIt(benchmark::State& state) {
  ExtractIntoCells(state, kMostListAddresses);
}
BENCHMARK(BM_ListOf10MegabytesAsAHarvestTakesIt)->Unit(benchmark::kMillisecond)->Iterations(5);

// Every address of the list, without the limit.
void BM_ListOf10MegabytesWhole(benchmark::State& state) {
  ExtractIntoCells(state, std::numeric_limits<std::size_t>::max());
}
BENCHMARK(BM_ListOf10MegabytesWhole)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace ph
