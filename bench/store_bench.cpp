// The headless list's database: loading 100,000 rows, and writing 1,000 changed ones of them.
#include "core/proxy_list.h"
#include "store/sqlite_list_store.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kRows = 100000;

void Fill(ProxyList& list) {
  std::vector<NewRow> rows(kRows);
  for (int i = 0; i < kRows; ++i) {
    rows[static_cast<std::size_t>(i)] = {u"10.%1.%2.1:8080"_s.arg(i / 256).arg(i % 256),
                                         u"广东省广州市 电信"_s,
                                         u"高匿"_s,
                                         u"成 功"_s,
                                         u"200"_s,
                                         u"True"_s,
                                         u"False"_s,
                                         u"321"_s,
                                         u"12-07 04:22:19"_s,
                                         u"4"_s,
                                         u"3"_s,
                                         u"75%"_s,
                                         u"2026/12/7 4:22:19"_s};
  }
  list.AppendRows(rows);
}

// A database of kRows rows, made once.
const QString& Database() {
  static QTemporaryDir dir;
  static const QString path = [] {
    const QString file = dir.filePath(u"list.db"_s);
    ProxyList list;
    Fill(list);
    SqliteListStore store(file);
    store.Open();
    store.Save(list);
    return file;
  }();
  return path;
}

void BM_LoadOf100kRows(benchmark::State& state) {
  for (auto _ : state) {
    SqliteListStore store(Database());
    store.Open();
    ProxyList list;
    store.Load(list);
    benchmark::DoNotOptimize(list.RowCount());
  }
}
BENCHMARK(BM_LoadOf100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveOf1000ChangedRowsIn100k(benchmark::State& state) {
  SqliteListStore store(Database());
  store.Open();
  ProxyList list;
  store.Load(list);
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++round;
    for (int i = 0; i < 1000; ++i)  // scattered over the whole list
      list.SetCellText(1 + (i * 97 + round) % kRows, kTestCount, QString::number(round));
    state.ResumeTiming();
    store.Save(list);
  }
}
BENCHMARK(BM_SaveOf1000ChangedRowsIn100k)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace ph
