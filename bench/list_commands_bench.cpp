// List commands and file exchange on a 100,000-row list with its view attached.
#include "commands/file_commands.h"
#include "commands/list_commands.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "list_view.h"
#include "listio/csv_export.h"
#include "listio/proxy_file.h"
#include "null_window.h"
#include "support/accessibility_bridge.h"
#include "support/list_rows.h"
#include "ui/list_view_model.h"
#include "ui/row_selection.h"

#include <benchmark/benchmark.h>

#include <QAccessible>
#include <QDir>
#include <QTemporaryDir>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kRows = 100000;

// The program's own set-up: state, list, a view with the selection kept in step.
struct Fixture {
  explicit Fixture(int distinct = kRows) : state(window, ProgramDir(dir.path())), commands(state) {
    state.List().AppendRows(test::ValidatedRows(kRows, distinct, u"北京 电信"_s));
    view = bench::AttachedView(rows);
    new RowSelection(rows, *view);
  }
  bench::NullWindow window;
  QTemporaryDir dir;
  AppState state;
  ListCommands commands;
  ListViewModel rows{state.List()};
  std::unique_ptr<QTableView> view;
};

void BM_RemoveDuplicates100kRowsHalfCopies(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto fixture = std::make_unique<Fixture>(kRows / 2);
    state.ResumeTiming();
    fixture->commands.RemoveDuplicates();
    QCoreApplication::processEvents();
    state.PauseTiming();
    if (fixture->state.List().RowCount() != kRows / 2) state.SkipWithError("wrong row count");
    fixture.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RemoveDuplicates100kRowsHalfCopies)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SelectAllThenInvert100kRows(benchmark::State& state) {
  Fixture fixture;
  for (auto _ : state) {
    fixture.commands.SelectAll();
    QCoreApplication::processEvents();
    fixture.commands.InvertSelection();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_SelectAllThenInvert100kRows)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_InvertEveryOtherRowSelected100kRows(benchmark::State& state) {
  Fixture fixture;
  fixture.state.List().SelectWhere([](int row) { return row % 2 == 0; });
  for (auto _ : state) {
    fixture.commands.InvertSelection();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_InvertEveryOtherRowSelected100kRows)->Unit(benchmark::kMillisecond)->Iterations(10);

// As with a screen reader at work: the list's table interface made and asked for a cell, and
// every accessibility event handed to a bridge.
void BM_InvertSelection100kRowsAccessible(benchmark::State& state) {
  Fixture fixture;
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(fixture.view.get());
  if (table == nullptr || table->tableInterface() == nullptr) {
    state.SkipWithError("the list has no table interface");
    return;
  }
  table->tableInterface()->cellAt(0, kAddress);
  fixture.state.List().SelectWhere([](int row) { return row % 2 == 0; });
  test::TakeBridgedEvents(QAccessible::SelectionWithin);
  for (auto _ : state) {
    fixture.commands.InvertSelection();
    QCoreApplication::processEvents();
  }
  const auto events = test::TakeBridgedEvents(QAccessible::SelectionWithin).size();
  if (static_cast<benchmark::IterationCount>(events) != state.iterations())
    state.SkipWithError("not one selection event per inversion");
}
BENCHMARK(BM_InvertSelection100kRowsAccessible)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ExportProxyFile100kRows(benchmark::State& state) {
  Fixture fixture;
  for (auto _ : state) {
    state.PauseTiming();
    QFile::remove(fixture.state.Dir().File(kProxyFileName));
    state.ResumeTiming();
    ExportProxyFile(fixture.state);
  }
}
BENCHMARK(BM_ExportProxyFile100kRows)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ImportProxyFile100kRows(benchmark::State& state) {
  Fixture source;
  ExportProxyFile(source.state);
  for (auto _ : state) {
    state.PauseTiming();
    bench::NullWindow window;
    auto target = std::make_unique<AppState>(window, ProgramDir(source.dir.path()));
    auto view = bench::AttachedView(target->List());
    state.ResumeTiming();
    ImportProxyFile(*target);
    QCoreApplication::processEvents();
    state.PauseTiming();
    if (target->List().RowCount() != kRows) state.SkipWithError("wrong row count");
    view.reset();
    target.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ImportProxyFile100kRows)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ExportCsv100kRows(benchmark::State& state) {
  Fixture fixture;
  for (auto _ : state) ExportCsv(fixture.state);
}
BENCHMARK(BM_ExportCsv100kRows)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace ph
