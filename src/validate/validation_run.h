#pragma once

#include "validate/run_state.h"
#include "validate/workers.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace ph {

class AppState;
class ProxyList;
class ResultBuffer;

// The run text: one "id=address" line per row, in row order, each ended by CR LF; the id is
// the row's RowId, which its result record carries back.
QString BuildRunText(const ProxyList& list, const std::vector<int>& rows);

// Starting, following and stopping validation runs, and the state they share with their
// workers. Window's thread only.
class ValidationRuns : public QObject {
  Q_OBJECT

 public:
  explicit ValidationRuns(AppState& state, ThreadLauncher launch = LaunchDetachedThread);

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

  // True while a run's batches are being handed out to workers.
  bool HandingOut() const { return handing_out_; }
  // True while the latest run may go on.
  bool TestRunning() const;
  // Tells the workers of the latest run to stop after their current probe.
  void ClearTestRunning();

  QTimer& Timer3() { return timer3_; }  // progress of a validation run
  const std::shared_ptr<ValidationShared>& Shared() const { return shared_; }
  // The latest validation run, or null before the first.
  const std::shared_ptr<RunState>& CurrentRun() const { return current_run_; }

 signals:
  // Entries validated of the entries to validate: when a run starts and on every progress tick.
  void Progress(int done, int total);
  // The latest run completed or was stopped.
  void RunEnded();

 private:
  void StartRun(std::vector<int> rows);
  void StopSteps();
  void RaiseTickInterval(int row_count);
  // A run that may go on no more: what its workers have found, and what the probes under way
  // still find, reaches the rows.
  void Retire(const std::shared_ptr<RunState>& run);

  AppState& state_;
  ThreadLauncher launch_;
  QTimer timer3_;
  QTimer late_results_;  // drains retired runs until their last worker has ended
  std::vector<std::shared_ptr<RunState>> retired_;
  std::shared_ptr<ValidationShared> shared_ = std::make_shared<ValidationShared>();
  std::shared_ptr<RunState> current_run_;
  uint64_t next_run_id_ = 1;
  bool handing_out_ = false;
};

}  // namespace ph
