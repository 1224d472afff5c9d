// The headless list's database: loading 100,000 rows, and writing 1,000 changed ones of them.
#include "core/proxy_list.h"
#include "store/sqlite_list_store.h"
#include "support/list_rows.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kRows = 100000;

void Fill(ProxyList& list) {
  list.AppendRows(test::ValidatedRows(kRows, kRows, u"广东省广州市 电信"_s));
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
      test::SetCell(list, 1 + (i * 97 + round) % kRows, kTestCount, QString::number(round));
    state.ResumeTiming();
    store.Save(list);
  }
}
BENCHMARK(BM_SaveOf1000ChangedRowsIn100k)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace ph
