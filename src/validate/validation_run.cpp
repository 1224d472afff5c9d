#include "validate/validation_run.h"

#include "core/app_state.h"
#include "core/numbers.h"
#include "core/proxy_list.h"
#include "validate/descriptor_limit.h"
#include "validate/result_buffer.h"
#include "validate/result_record.h"
#include "validate/run_sharing.h"

#include <QTimer>

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Above this many rows the run start shows its two stage texts, each in a turn of its own.
constexpr int kLargeList = 10000;
// How often the results of a stopped run's last probes are looked for.
constexpr int kLateResultsMs = 250;

}  // namespace

ValidationRuns::ValidationRuns(AppState& state, QObject* parent) : QObject(parent), state_(state) {
  RaiseDescriptorLimit();
  timer3_.setInterval(500);
  connect(&timer3_, &QTimer::timeout, this, &ValidationRuns::ProgressTick);
  late_results_.setInterval(kLateResultsMs);
  connect(&late_results_, &QTimer::timeout, this, &ValidationRuns::DrainLateResults);
}

ValidationRuns::~ValidationRuns() { Shutdown(); }

bool ValidationRuns::TestRunning() const { return current_run_ && current_run_->test_running; }

void ValidationRuns::ClearTestRunning() {
  if (current_run_) Retire(current_run_);
}

void ValidationRuns::Shutdown() {
  ClearTestRunning();
  engine_.Shutdown();
}

void ValidationRuns::PutFirst(const std::vector<RowId>& ids) {
  for (const RowId id : ids)
    if (first_set_.insert(id).second) first_.push_back(id);
}

void ValidationRuns::Addlvstr(ResultBuffer& buffer) {
  state_.StatusBar().AddSuccesses(Apply(buffer.Take()));
}

int ValidationRuns::Apply(std::string_view records) {
  std::vector<RowId> applied;
  const int successes =
      ApplyResultRecords(state_.List(), records, &probes_, sharing_ ? &applied : nullptr);
  // A shared run's results are written where every instance reads them.
  if (sharing_ && !applied.empty()) sharing_->Applied(applied);
  return successes;
}

void ValidationRuns::ValidateSelected() {
  const std::vector<int> rows = state_.List().SelectedRows();
  // No row selected: nothing to validate, and no run that could never complete.
  if (!rows.empty()) StartRun(rows);
}

void ValidationRuns::ValidateAll() {
  std::vector<int> rows(static_cast<std::size_t>(state_.List().RowCount()));
  std::iota(rows.begin(), rows.end(), 1);
  StartRun(rows);
}

int ValidationRuns::ProbesAtOnce() {
  const int wanted = state_.Config().ProbesAtOnce();
  const int most = MostProbesFor(RaiseDescriptorLimit());
  if (wanted <= most) return wanted;
  if (noticed_cap_ != most) {
    noticed_cap_ = most;
    state_.StatusBar().SetProblem(
        u"本机可同时打开的文件数不足, 并发数由 %1 降为 %2 (文件描述符上限 %3)"_s.arg(wanted)
            .arg(most)
            .arg(RaiseDescriptorLimit()));
  }
  return most;
}

void ValidationRuns::StartRun(const std::vector<int>& rows) {
  ProxyList& list = state_.List();
  Status& status = state_.StatusBar();
  if (list.RowCount() == 0 || rows.empty()) return;
  // A run whose probes fill every slot is not cut off; those of a stopped run end at once.
  if (handing_out_ || (TestRunning() && engine_.InFlight() >= state_.Config().ProbesAtOnce())) {
    status.SetText(u"请等待线程执行完毕.."_s);
    return;
  }
  // A run still going is superseded: its probes end at once, and what they found reaches
  // the rows by identity.
  std::shared_ptr<RunState> run = NewRun();

  std::vector<RowId> ids;
  ids.reserve(rows.size());
  for (const int row : rows) ids.push_back(list.IdOf(row));
  // A shared run clears the rows' results where they are kept, and every instance sees that.
  const bool whole = static_cast<int>(rows.size()) == list.RowCount();
  if (sharing_ && sharing_->Share(run, ids, whole)) {
    Begin(run, static_cast<int>(ids.size()));
    return;
  }
  if (list.RowCount() <= kLargeList) {
    list.FillCells(rows, kTestResult, kTestedAt);
    Launch(ids, std::move(run));
    return;
  }
  // A large list is prepared in turns of the event loop, each with its stage text; the rows
  // are found again by identity in each.
  handing_out_ = true;
  status.SetText(u"正在进行数据分页..."_s);
  QTimer::singleShot(0, this, [this, ids = std::move(ids), run = std::move(run)]() mutable {
    PrepareLarge(std::move(ids), std::move(run));
  });
}

std::shared_ptr<RunState> ValidationRuns::NewRun() {
  if (current_run_) Retire(current_run_);
  auto run = std::make_shared<RunState>(next_run_id_++, state_.Config().ProbeSlot());
  if (state_.Config().On(&SettingsPanel::Check10))
    run->judge = std::make_shared<AnonymityJudge>(state_.EndpointTable().Url(Endpoint::Judge, {}));
  state_.StatusBar().SetSuccesses(0);
  return run;
}

std::shared_ptr<RunState> ValidationRuns::JoinRun(int total) {
  std::shared_ptr<RunState> run = NewRun();
  Begin(run, total);
  return run;
}

void ValidationRuns::PrepareLarge(std::vector<RowId> ids, std::shared_ptr<RunState> run) {
  ProxyList& list = state_.List();
  std::vector<int> rows;
  rows.reserve(ids.size());
  for (const RowId id : ids)
    if (const int row = list.RowOf(id); row != 0) rows.push_back(row);
  list.FillCells(rows, kTestResult, kTestedAt);
  state_.StatusBar().SetText(u"正在进行数据合并..."_s);
  QTimer::singleShot(0, this, [this, ids = std::move(ids), run = std::move(run)]() mutable {
    handing_out_ = false;
    Launch(ids, std::move(run));
  });
}

std::vector<ProbeJob> ValidationRuns::JobsFor(const std::vector<RowId>& ids) {
  const ProxyList& list = state_.List();
  std::vector<ProbeJob> jobs;
  jobs.reserve(ids.size());
  auto add = [&](RowId id) {
    if (const int row = list.RowOf(id); row != 0)
      jobs.push_back({id, list.CellText(row, kAddress)});
  };
  if (first_.empty()) {
    for (const RowId id : ids) add(id);
    return jobs;
  }
  // The rows asked to go first do, in the order asked; the others keep the list's order.
  const std::unordered_set<RowId> in_run(ids.begin(), ids.end());
  std::unordered_set<RowId> taken;
  for (const RowId id : first_)
    if (in_run.contains(id) && taken.insert(id).second) add(id);
  for (const RowId id : ids)
    if (!taken.contains(id)) add(id);
  std::erase_if(first_, [&](RowId id) {
    // Taken now, or gone from the list for good.
    const bool done = taken.contains(id) || list.RowOf(id) == 0;
    if (done) first_set_.erase(id);
    return done;
  });
  return jobs;
}

void ValidationRuns::Launch(const std::vector<RowId>& ids, std::shared_ptr<RunState> run) {
  std::vector<ProbeJob> jobs = JobsFor(ids);
  Begin(run, static_cast<int>(jobs.size()));
  engine_.Add(run, std::move(jobs));
}

void ValidationRuns::Begin(const std::shared_ptr<RunState>& run, int total) {
  Status& status = state_.StatusBar();
  status.SetText(u"开始验证..."_s);
  run->test_running = true;
  run->to_validate_count = total;
  current_run_ = run;
  emit RunningChanged(true);
  status.ReportProgress(Job::kValidation, 0, total);
  RaiseTickInterval(state_.List().RowCount());
  timer3_.start();
  engine_.SetConcurrency(ProbesAtOnce());
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
  engine_.DropStopped();
  if (std::find(retired_.begin(), retired_.end(), run) == retired_.end()) retired_.push_back(run);
  DrainLateResults();
}

void ValidationRuns::DrainLateResults() {
  std::erase_if(retired_, [this](const std::shared_ptr<RunState>& run) {
    // A probe writes its record before it stops counting: once none is left, one more take
    // gets everything.
    const bool ended = run->pending == 0;
    Apply(run->results.Take());
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
  emit RunningChanged(false);
  state_.StatusBar().EndJob(Job::kValidation);
}

void ValidationRuns::StopValidation() {
  if (sharing_ && TestRunning()) sharing_->Stopped(current_run_);
  StopSteps();
  state_.StatusBar().SetText(u"停止验证..."_s);
}

void ValidationRuns::ProgressTick() {
  Status& status = state_.StatusBar();
  status.SetWorkers(engine_.InFlight());
  const std::shared_ptr<RunState> run = current_run_;
  if (!run) return;
  if (run->results.HasRecords()) Addlvstr(run->results);
  const int to_validate = run->to_validate_count;
  const int validated = run->validated_count + run->validated_elsewhere;
  status.SetText(u"需验证: %1 已验证:%2"_s.arg(to_validate).arg(validated));
  status.ReportProgress(Job::kValidation, validated, to_validate);
  if (run->judge && run->judge->TakeFailureNotice())
    status.SetProblem(u"匿名度判断页没有应答或没有给出本机地址,本次验证不检测匿名度"_s);
  if (run->shared ? !run->over_everywhere : validated < to_validate) return;

  // Every record was appended before it was counted: the stop takes the ones that came after
  // the drain.
  StopSteps();
  status.SetText(u"所有验证线程命令已执行完毕,如有未显示的结果,请手动再次验证即可!"_s);
  if (state_.Config().On(&SettingsPanel::Check8) && state_.List().RowCount() > 0) SuccessFilter();
}

void ValidationRuns::SuccessFilter() {
  const Settings::SuccessFilterRule rule = state_.Config().FilterRule();
  ProxyList& list = state_.List();
  std::vector<bool> remove(static_cast<std::size_t>(list.RowCount()));
  for (int row = 1; row <= list.RowCount(); ++row) {
    remove[static_cast<std::size_t>(row - 1)] =
        ReadNumber(list.CellText(row, kTestCount)) >= rule.min_tests &&
        rule.min_percent > ReadNumber(list.CellText(row, kSuccessRatio));
  }
  list.RemoveRows(remove);
}

}  // namespace ph
