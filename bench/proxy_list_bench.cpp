// Applying a large drain of results and appending many rows, with a list view attached.
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "list_view.h"
#include "null_window.h"
#include "validate/result_buffer.h"
#include "validate/validation_run.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QTableView>

#include <memory>
#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

std::string Records(int count) {
  std::string records;
  records.reserve(static_cast<std::size_t>(count) * 110);
  for (int row = 1; row <= count; ++row) {
    records += "lvid=" + std::to_string(row) + ";suc=" + std::to_string(row % 3) +
               ";statu=200;timeout=" + std::to_string(100 + row % 900) +
               ";http=True;https=False;time=12-07 04:22:19;error=;errnum=0;\r\n";
  }
  return records;
}

void BM_AddlvstrApplies100kRecords(benchmark::State& state) {
  constexpr int kRows = 100000;
  const std::string records = Records(kRows);
  bench::NullWindow window;
  for (auto _ : state) {
    state.PauseTiming();
    AppState app(window, ProgramDir(u"/nonexistent"_s));
    ValidationRuns runs(app);
    std::vector<NewRow> rows(kRows);
    for (int i = 0; i < kRows; ++i)
      rows[static_cast<std::size_t>(i)][0] = u"10.0.%1.%2:8080"_s.arg(i / 256).arg(i % 256);
    app.List().AppendRows(rows);
    auto view = bench::AttachedView(app.List());
    ResultBuffer buffer;
    buffer.Append(records);
    state.ResumeTiming();

    runs.Addlvstr(buffer);
    QCoreApplication::processEvents();  // the view repaints what changed
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AddlvstrApplies100kRecords)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AddlvstrSecondDrainOnValidatedRows(benchmark::State& state) {
  constexpr int kRows = 100000;
  const std::string records = Records(kRows);
  bench::NullWindow window;
  AppState app(window, ProgramDir(u"/nonexistent"_s));
  ValidationRuns runs(app);
  for (int i = 0; i < kRows; ++i) app.List().AppendRow({u"10.0.0.1:8080"_s});
  auto view = bench::AttachedView(app.List());
  ResultBuffer buffer;
  buffer.Append(records);
  runs.Addlvstr(buffer);  // rows now carry counters and a first-validation time
  for (auto _ : state) {
    buffer.Append(records);
    runs.Addlvstr(buffer);
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AddlvstrSecondDrainOnValidatedRows)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Append100kRowsOneByOne(benchmark::State& state) {
  constexpr int kRows = 100000;
  for (auto _ : state) {
    state.PauseTiming();
    auto list = std::make_unique<ProxyList>();
    auto view = bench::AttachedView(*list);
    const NewRow row{u"10.1.2.3:8080"_s, u"北京 电信"_s, u"高匿"_s};
    state.ResumeTiming();
    for (int i = 0; i < kRows; ++i) list->AppendRow(row);
    QCoreApplication::processEvents();
    state.PauseTiming();  // tearing down is not part of appending
    view.reset();
    list.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Append100kRowsOneByOne)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Append100kRowsInOneBatch(benchmark::State& state) {
  constexpr int kRows = 100000;
  const std::vector<NewRow> rows(kRows, NewRow{u"10.1.2.3:8080"_s, u"北京 电信"_s, u"高匿"_s});
  for (auto _ : state) {
    state.PauseTiming();
    auto list = std::make_unique<ProxyList>();
    auto view = bench::AttachedView(*list);
    state.ResumeTiming();
    list->AppendRows(rows);
    QCoreApplication::processEvents();
    state.PauseTiming();
    view.reset();
    list.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Append100kRowsInOneBatch)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace ph
