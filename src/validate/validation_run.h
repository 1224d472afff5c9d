#pragma once

#include "core/proxy_list.h"
#include "validate/probe_engine.h"
#include "validate/probe_tally.h"
#include "validate/run_state.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ph {

class AppState;
class ResultBuffer;
class RunSharing;

// Starting, following and stopping validation runs, and the probe engine they run on. The one
// owner of whether a run goes on. Window's thread only.
class ValidationRuns : public QObject {
  Q_OBJECT

 public:
  explicit ValidationRuns(AppState& state, QObject* parent = nullptr);
  ~ValidationRuns() override;

  void ValidateSelected();  // Tmenu1 "验证选中"
  void ValidateAll();       // Tmenu2 "验证所有", and the automatic re-validation
  void StopValidation();    // StopTest "停止验证"
  void ProgressTick();      // every Timer3 tick

  // Removes the rows with at least the minimum number of tests whose success ratio is below
  // the minimum percent (Text18, Text19 as they read now).
  void SuccessFilter();

  // Takes everything in the buffer and applies it to the rows; counts the successes.
  void Addlvstr(ResultBuffer& buffer);

  // Applies what the last probes of stopped runs have found since the last look.
  void DrainLateResults();

  // True while a run's entries are being prepared (a large list takes a few turns).
  bool HandingOut() const { return handing_out_; }
  // True while the latest run may go on.
  bool TestRunning() const;
  // Tells the latest run to stop: its probes end at once, and nothing more is written for it.
  void ClearTestRunning();
  // Probes under way, of any run.
  int ProbesInFlight() const { return engine_.InFlight(); }
  // Ends every probe and joins the engine's threads; no run starts afterwards.
  void Shutdown();

  // Runs are shared with other instances from now on (null: no more).
  void SetSharing(RunSharing* sharing) { sharing_ = sharing; }
  // A run started by another instance is taken up here, superseding the run going on; its
  // entries come from the sharing.
  std::shared_ptr<RunState> JoinRun(int total);

  // These rows go first in the next runs that include them (faults seen on live traffic).
  void PutFirst(const std::vector<RowId>& ids);

  QTimer& Timer3() { return timer3_; }  // progress of a validation run
  // The latest validation run, or null before the first.
  const std::shared_ptr<RunState>& CurrentRun() const { return current_run_; }
  ProbeEngine& Engine() { return engine_; }
  // What every result applied so far found, of any run.
  const ProbeTally& Probes() const { return probes_; }

 signals:
  // A run started, completed or was stopped: TestRunning() may have changed.
  void RunningChanged(bool running);

 private:
  void StartRun(const std::vector<int>& rows);
  void PrepareLarge(std::vector<RowId> ids, std::shared_ptr<RunState> run);
  void Launch(const std::vector<RowId>& ids, std::shared_ptr<RunState> run);
  std::shared_ptr<RunState> NewRun();
  // The run is the current one from now on, with this many entries to validate.
  void Begin(const std::shared_ptr<RunState>& run, int total);
  // Applies result records to the rows; the number of successes.
  int Apply(std::string_view records);
  std::vector<ProbeJob> JobsFor(const std::vector<RowId>& ids);
  int ProbesAtOnce();
  void StopSteps();
  void RaiseTickInterval(int row_count);
  // A run that may go on no more: what its probes have found reaches the rows.
  void Retire(const std::shared_ptr<RunState>& run);

  AppState& state_;
  // Two threads: loopback-fast proxies keep one core busy with the sockets alone.
  ProbeEngine engine_{2};
  QTimer timer3_;
  QTimer late_results_;  // drains retired runs until their last probe has ended
  std::vector<std::shared_ptr<RunState>> retired_;
  std::shared_ptr<RunState> current_run_;
  ProbeTally probes_;
  std::vector<RowId> first_;  // PutFirst, each once
  std::unordered_set<RowId> first_set_;
  RunSharing* sharing_ = nullptr;
  uint64_t next_run_id_ = 1;
  bool handing_out_ = false;
  int noticed_cap_ = 0;  // the descriptor cap last said in a status text
};

}  // namespace ph
