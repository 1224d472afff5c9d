#pragma once

#include "validate/workers.h"

#include <QObject>
#include <QString>

#include <vector>

namespace ph {

class AppState;
class ProxyList;

// The run text: one "row=address" line per row, in row order, each ended by CR LF.
QString BuildRunText(const ProxyList& list, const std::vector<int>& rows);

// Starting, following and stopping validation runs. Window's thread only.
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

  // True while a run's batches are being handed out to workers.
  bool HandingOut() const { return handing_out_; }

 private:
  void StartRun(std::vector<int> rows);
  void StopSteps();
  void RaiseTickInterval(int row_count);

  AppState& state_;
  ThreadLauncher launch_;
  uint64_t next_run_id_ = 1;
  bool handing_out_ = false;
};

}  // namespace ph
