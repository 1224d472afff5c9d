#include "whole_run.h"

#include "core/proxy_list.h"
#include "null_window.h"
#include "validate/validation_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace ph::bench {

using namespace Qt::StringLiterals;

RunFigures WholeRun(const std::vector<std::string>& proxies, int entries,
                    const RunSetting& setting) {
  NullWindow window;
  AppState state(window, ProgramDir(setting.dir));
  state.Startup();
  state.Config().SetCheck(&SettingsPanel::Check10, setting.anonymity ? 1 : 0);
  state.Config().SetCheck(&SettingsPanel::Check11, setting.high_speed > 0 ? 1 : 0);
  state.Config().SetText(&SettingsPanel::Text20, QString::number(setting.high_speed));
  state.Config().SetText(&SettingsPanel::Text2, QString::number(setting.timeout_ms));
  state.ApplySettings();
  ValidationRuns runs(state);
  std::vector<NewRow> rows(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i)
    rows[static_cast<std::size_t>(i)][0] =
        QString::fromStdString(proxies[static_cast<std::size_t>(i) % proxies.size()]);
  state.List().AppendRows(rows);

  // Time every tick ourselves instead of the built-in connection.
  RunFigures figures;
  QObject::disconnect(&runs.Timer3(), nullptr, &runs, nullptr);
  QObject::connect(&runs.Timer3(), &QTimer::timeout, [&] {
    QElapsedTimer tick;
    tick.start();
    runs.ProgressTick();
    figures.longest_tick_ms = std::max(figures.longest_tick_ms, tick.elapsed());
  });

  const std::function<void()> end_beside = setting.beside ? setting.beside(state) : nullptr;
  const QString done = u"所有验证线程命令已执行完毕,如有未显示的结果,请手动再次验证即可!"_s;
  QElapsedTimer clock;
  clock.start();
  qint64 probed_ms = 0;
  QTimer watch;  // notes when the last record is counted, between progress ticks
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const auto run = runs.CurrentRun();
    if (probed_ms == 0 && run && run->validated_count == run->to_validate_count)
      probed_ms = clock.elapsed();
  });
  watch.start(2);
  runs.ValidateAll();
  figures.start_ms = clock.elapsed();
  while (state.StatusBar().Text() != done) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  figures.probing_per_second = entries * 1000.0 / std::max<qint64>(probed_ms, 1);
  double total_ms = 0;
  for (int row = 1; row <= entries; ++row)
    total_ms += state.List().CellText(row, kElapsedMs).toDouble();
  figures.mean_probe_ms = total_ms / entries;
  figures.total_ms = clock.elapsed();
  figures.probes_per_second = entries * 1000.0 / std::max<qint64>(figures.total_ms, 1);
  figures.successes = state.StatusBar().Successes();
  if (end_beside) end_beside();
  while (runs.ProbesInFlight() > 0) QThread::msleep(5);
  return figures;
}

}  // namespace ph::bench
