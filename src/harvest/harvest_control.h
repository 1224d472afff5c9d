#pragma once

#include <QObject>
#include <QTimer>

namespace ph {

class AppState;
class HarvestRun;
class ValidationRuns;

// Starting and stopping harvests, and the two automatic modes: Timer2 counts seconds towards
// the next automatic harvest while "自动更新" (Check5) is ticked, Timer1 towards the next
// re-validation of the whole list while "自动重验" (Check4) is. Window's thread only.
class HarvestControl : public QObject {
  Q_OBJECT

 public:
  HarvestControl(AppState& state, ValidationRuns& runs, QObject* parent = nullptr);
  ~HarvestControl() override;

  // Runs once at start-up: both count-down timers tick from now on.
  void Start();

  void StartHarvest();  // GetProxyMenu "采集代理", and the automatic harvest
  void StopHarvest();   // StopGet "停止采集"

  void Timer1Tick();  // automatic re-validation
  void Timer2Tick();  // automatic harvest

  // HarvestRunning: set by a start, cleared by a stop; a running harvest ends at its next
  // page boundary once it is cleared. A harvest that ends by itself leaves it set.
  bool HarvestRunning() const { return harvest_running_; }
  // The harvest under way, or null.
  HarvestRun* Run() const { return run_; }

  int UpdateTicks() const { return update_ticks_; }
  int RetestTicks() const { return retest_ticks_; }
  QTimer& Timer1() { return timer1_; }
  QTimer& Timer2() { return timer2_; }

  // The pause after the 66ip API had no data, for runs started from now on.
  void SetNoDataPauseMs(int ms) { no_data_pause_ms_ = ms; }
  // The file that names the public lists, for runs started from now on; empty means
  // "sources.ini" in the program directory.
  void SetSourcesPath(const QString& path) { sources_path_ = path; }

 signals:
  void RunStarted(ph::HarvestRun* run);

 private:
  AppState& state_;
  ValidationRuns& runs_;
  QTimer timer1_;
  QTimer timer2_;
  bool harvest_running_ = false;
  HarvestRun* run_ = nullptr;
  int32_t update_ticks_ = 0;  // UpdateTicks
  int32_t retest_ticks_ = 0;  // RetestTicks
  int no_data_pause_ms_ = 3000;
  QString sources_path_;
};

}  // namespace ph
