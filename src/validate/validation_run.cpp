#include "validate/validation_run.h"

#include "core/app_state.h"
#include "core/numbers.h"
#include "core/proxy_list.h"
#include "validate/result_buffer.h"
#include "validate/result_record.h"

#include <QCoreApplication>

#include <algorithm>
#include <numeric>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Above this many rows the run start shows its two stage texts and lets events run.
constexpr int kLargeList = 10000;
// How often the results of a stopped run's last probes are looked for.
constexpr int kLateResultsMs = 250;

}  // namespace

QString BuildRunText(const ProxyList& list, const std::vector<int>& rows) {
  QString text;
  qsizetype length = 0;
  for (const int row : rows) length += list.CellText(row, kAddress).size() + 10;
  text.reserve(length);
  for (const int row : rows) {
    text += QString::number(list.IdOf(row));
    text += u'=';
    text += list.CellText(row, kAddress);
    text += u"\r\n"_s;
  }
  return text;
}

ValidationRuns::ValidationRuns(AppState& state, ThreadLauncher launch)
    : QObject(&state), state_(state), launch_(std::move(launch)) {
  timer3_.setInterval(500);
  connect(&timer3_, &QTimer::timeout, this, &ValidationRuns::ProgressTick);
  late_results_.setInterval(kLateResultsMs);
  connect(&late_results_, &QTimer::timeout, this, &ValidationRuns::DrainLateResults);
}

bool ValidationRuns::TestRunning() const { return current_run_ && current_run_->test_running; }

void ValidationRuns::ClearTestRunning() {
  if (current_run_) current_run_->test_running = false;
}

void ValidationRuns::Addlvstr(ResultBuffer& buffer) {
  const std::string taken = buffer.Take();
  state_.StatusBar().AddSuccesses(ApplyResultRecords(state_.List(), taken));
}

void ValidationRuns::ValidateSelected() {
  std::vector<int> rows = state_.List().SelectedRows();
  // No row selected: nothing to validate, and no run that could never complete.
  if (!rows.empty()) StartRun(std::move(rows));
}

void ValidationRuns::ValidateAll() {
  std::vector<int> rows(static_cast<std::size_t>(state_.List().RowCount()));
  std::iota(rows.begin(), rows.end(), 1);
  StartRun(std::move(rows));
}

void ValidationRuns::StartRun(std::vector<int> rows) {
  ProxyList& list = state_.List();
  Status& status = state_.StatusBar();
  if (list.RowCount() == 0 || rows.empty()) return;
  const int threads = state_.Config().Working().TestThreads;
  if (handing_out_ || shared_->active_workers >= threads) {
    status.SetText(u"请等待线程执行完毕.."_s);
    return;
  }
  handing_out_ = true;
  // A run still going is superseded: its workers end at once, and what they found reaches
  // the rows by identity.
  if (current_run_) Retire(current_run_);
  auto run = std::make_shared<RunState>(next_run_id_++);
  if (state_.Config().Panel().Check10 == 1)
    run->judge = std::make_shared<AnonymityJudge>(state_.EndpointTable().Url(Endpoint::Judge, {}));
  status.SetSuccesses(0);

  const bool large = list.RowCount() > kLargeList;
  if (large) {
    status.SetText(u"正在进行数据分页..."_s);
    QCoreApplication::processEvents();
  }
  list.FillCells(rows, kTestResult, kTestedAt);
  const QString run_text = BuildRunText(list, rows);
  if (large) {
    status.SetText(u"正在进行数据合并..."_s);
    QCoreApplication::processEvents();
  }

  status.SetText(u"开始验证..."_s);
  status.SetMenuItemVisible(MenuItem::StopTest, true);
  run->test_running = true;
  current_run_ = run;
  emit Progress(0, static_cast<int>(rows.size()));
  RaiseTickInterval(list.RowCount());
  timer3_.start();

  const WorkerLinks links{shared_, run, state_.Config().ProbeSlot()};
  ZxShuzu(run_text, threads, links, launch_, [&status](int entries) {
    status.SetText(u"无法创建验证线程,已跳过 %1 条数据"_s.arg(entries));
  });
  handing_out_ = false;
}

void ValidationRuns::RaiseTickInterval(int row_count) {
  int interval = 0;
  if (row_count > 30000) interval = 700;
  if (row_count > 50000) interval = 1000;
  if (row_count > 100000) interval = 1500;
  // A smaller list never lowers an interval that a larger one set.
  if (interval > timer3_.interval()) timer3_.setInterval(interval);
}

void ValidationRuns::Retire(const std::shared_ptr<RunState>& run) {
  run->test_running = false;
  if (std::find(retired_.begin(), retired_.end(), run) == retired_.end()) retired_.push_back(run);
  DrainLateResults();
}

void ValidationRuns::DrainLateResults() {
  std::erase_if(retired_, [this](const std::shared_ptr<RunState>& run) {
    // A worker appends before it ends: once none is left, one more take gets everything.
    const bool ended = run->workers == 0;
    ApplyResultRecords(state_.List(), run->results.Take());
    return ended;
  });
  if (retired_.empty()) {
    late_results_.stop();
  } else if (!late_results_.isActive()) {
    late_results_.start();
  }
}

void ValidationRuns::StopSteps() {
  if (current_run_) {
    Addlvstr(current_run_->results);
    Retire(current_run_);
  }
  timer3_.stop();
  state_.StatusBar().SetMenuItemVisible(MenuItem::StopTest, false);
  emit RunEnded();
}

void ValidationRuns::StopValidation() {
  StopSteps();
  state_.StatusBar().SetText(u"停止验证..."_s);
}

void ValidationRuns::ProgressTick() {
  Status& status = state_.StatusBar();
  status.SetWorkers(shared_->active_workers);
  const std::shared_ptr<RunState> run = current_run_;
  if (!run) return;
  if (run->results.HasRecords()) Addlvstr(run->results);
  const int to_validate = run->to_validate_count;
  const int validated = run->validated_count;
  status.SetText(u"需验证: %1 已验证:%2"_s.arg(to_validate).arg(validated));
  emit Progress(validated, to_validate);
  if (run->judge && run->judge->TakeFailureNotice())
    status.SetText(u"匿名度判断页没有应答或没有给出本机地址,本次验证不检测匿名度"_s);
  if (to_validate != validated) return;

  // Every record was appended before it was counted: the stop takes the ones that came after
  // the drain.
  StopSteps();
  status.SetText(u"所有验证线程命令已执行完毕,如有未显示的结果,请手动再次验证即可!"_s);
  if (state_.Config().Panel().Check8 == 1 && state_.List().RowCount() > 0) SuccessFilter();
}

void ValidationRuns::SuccessFilter() {
  const SettingsPanel& panel = state_.Config().Panel();
  const double min_tests = ReadNumber(panel.Text18);
  const double min_percent = ReadNumber(panel.Text19);
  ProxyList& list = state_.List();
  std::vector<bool> remove(static_cast<std::size_t>(list.RowCount()));
  for (int row = 1; row <= list.RowCount(); ++row) {
    remove[static_cast<std::size_t>(row - 1)] =
        ReadNumber(list.CellText(row, kTestCount)) >= min_tests &&
        min_percent > ReadNumber(list.CellText(row, kSuccessRatio));
  }
  list.RemoveRows(remove);
}

}  // namespace ph
