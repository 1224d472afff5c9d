// The window's list view over 100,000 rows: sorting by a column, a filter keystroke, and a
// burst of results while the view is sorted, each with a shown view that lays itself out
// and repaints. QSortFilterProxyModel re-sorting on every change is measured beside it.
#include "core/proxy_list.h"
#include "list_view.h"
#include "support/list_rows.h"
#include "ui/list_view_model.h"
#include "validate/result_record.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSortFilterProxyModel>
#include <QTableView>

#include <array>
#include <memory>
#include <random>
#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kRows = 100000;

// Rows as a harvest and a few runs leave them: addresses, regions, results, times and
// ratios vary.
std::vector<NewRow> ValidatedList() {
  static const std::array<QString, 6> kRegions{u"北京 电信"_s, u"上海 联通"_s, u"广东 电信"_s,
                                               u"美国"_s,      u"日本 东京"_s, u"德国"_s};
  std::mt19937 random(26);
  std::vector<NewRow> rows;
  rows.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    const QString address = u"%1.%2.%3.%4:%5"_s.arg(random() % 223 + 1)
                                .arg(random() % 256)
                                .arg(random() % 256)
                                .arg(random() % 256)
                                .arg(random() % 64512 + 1024);
    NewRow row = test::ValidatedRow(i % 10 == 0 ? u"socks5://"_s + address : address,
                                    kRegions[random() % kRegions.size()]);
    const int tests = static_cast<int>(random() % 20) + 1;
    const int wins = static_cast<int>(random() % static_cast<unsigned>(tests + 1));
    row[kTestResult - 1] = random() % 3 == 0 ? u"成 功"_s : u"失 败"_s;
    row[kElapsedMs - 1] = QString::number(random() % 5000);
    row[kTestCount - 1] = QString::number(tests);
    row[kSuccessCount - 1] = QString::number(wins);
    row[kSuccessRatio - 1] = u"%1%"_s.arg(wins * 100 / tests);
    row[kFirstTestedAt - 1] = u"2026/%1/%2 %3:%4:%5"_s.arg(random() % 12 + 1)
                                  .arg(random() % 28 + 1)
                                  .arg(random() % 24)
                                  .arg(random() % 60, 2, 10, QChar(u'0'))
                                  .arg(random() % 60, 2, 10, QChar(u'0'));
    rows.push_back(row);
  }
  return rows;
}

// The list, what the view shows of it, and the shown view.
struct ShownList {
  ShownList() {
    list.AppendRows(ValidatedList());
    view = bench::AttachedView(rows);
  }
  ProxyList list;
  ListViewModel rows{list};
  std::unique_ptr<QTableView> view;
};

// A sort as a header click makes it, up to the view's next paint; ascending and descending
// in turn.
void BM_ViewSortsBy(benchmark::State& state) {
  const int column = static_cast<int>(state.range(0));
  ShownList shown;
  bool descending = false;
  for (auto _ : state) {
    shown.rows.SortBy(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    QCoreApplication::processEvents();
    descending = !descending;
  }
  state.SetLabel(ProxyList::Captions()[static_cast<std::size_t>(column)].toStdString());
}
BENCHMARK(BM_ViewSortsBy)
    ->Arg(kElapsedMs)
    ->Arg(kSuccessRatio)
    ->Arg(kFirstTestedAt)
    ->Arg(kAddress)
    ->Arg(kRegion)
    ->Unit(benchmark::kMillisecond);

struct Keystroke {
  const char* what;
  RowFilter from;
  RowFilter to;
};
const std::array<Keystroke, 5> kKeystrokes{{
    {"first key", {}, {u"8"_s}},
    {"narrowing key", {u"8"_s}, {u"80"_s}},
    {"backspace", {u"80"_s}, {u"8"_s}},
    {"region", {u"北"_s}, {u"北京"_s}},
    {"success toggle", {u"8"_s}, {u"8"_s, true}},
}};

// One keystroke in the filter field over a view sorted by 耗时, up to the view's next paint.
void BM_ViewFilterKeystroke(benchmark::State& state) {
  const Keystroke& key = kKeystrokes[static_cast<std::size_t>(state.range(0))];
  ShownList shown;
  shown.rows.SortBy(kElapsedMs, Qt::AscendingOrder);
  for (auto _ : state) {
    state.PauseTiming();
    shown.rows.SetFilter(key.from);
    QCoreApplication::processEvents();
    state.ResumeTiming();
    shown.rows.SetFilter(key.to);
    QCoreApplication::processEvents();
  }
  state.SetLabel(key.what);
  state.counters["shown"] = shown.rows.Shown();
}
BENCHMARK(BM_ViewFilterKeystroke)
    ->DenseRange(0, kKeystrokes.size() - 1)
    ->Unit(benchmark::kMillisecond);

// Result records for count rows spread over the list, with new times.
std::string Burst(int count, std::mt19937& random) {
  std::string records;
  records.reserve(static_cast<std::size_t>(count) * 110);
  const int step = kRows / count;
  for (int i = 0; i < count; ++i) {
    records += "lvid=" + std::to_string(i * step + 1) + ";suc=" + std::to_string(random() % 2) +
               ";statu=200;timeout=" + std::to_string(random() % 5000) +
               ";http=True;https=False;time=12-07 04:22:19;error=;errnum=0;\r\n";
  }
  return records;
}

// A burst of results reaching a view sorted by 耗时 and filtered to 成功: the window's turn
// that writes them, and then the turn of the refresh that sorts and filters them again.
void BM_ResultBurstWhileSorted(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const bool refresh = state.range(1) != 0;
  ShownList shown;
  shown.rows.SortBy(kElapsedMs, Qt::AscendingOrder);
  shown.rows.SetFilter({{}, true});
  std::mt19937 random(7);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string records = Burst(count, random);
    if (refresh) {
      ApplyResultRecords(shown.list, records);
      QCoreApplication::processEvents();
    }
    state.ResumeTiming();
    if (refresh) {
      shown.rows.RefreshNow();
    } else {
      ApplyResultRecords(shown.list, records);
    }
    QCoreApplication::processEvents();
    state.PauseTiming();
    if (!refresh) shown.rows.RefreshNow();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  state.SetLabel(refresh ? "refresh turn" : "results turn");
}
BENCHMARK(BM_ResultBurstWhileSorted)
    ->Args({5000, 0})
    ->Args({5000, 1})
    ->Args({kRows, 0})
    ->Args({kRows, 1})
    ->Unit(benchmark::kMillisecond);

// For comparison: QSortFilterProxyModel sorting by the 耗时 texts, re-sorting as the results
// arrive (dynamicSortFilter), in the turn that writes them.
void BM_QSortFilterProxyModelBurst(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  ProxyList list;
  list.AppendRows(ValidatedList());
  QSortFilterProxyModel proxy;
  proxy.setSourceModel(&list);
  proxy.setDynamicSortFilter(true);
  proxy.sort(kElapsedMs);
  auto view = bench::AttachedView(proxy);
  std::mt19937 random(7);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string records = Burst(count, random);
    state.ResumeTiming();
    ApplyResultRecords(list, records);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_QSortFilterProxyModelBurst)->Arg(5000)->Arg(kRows)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ph
