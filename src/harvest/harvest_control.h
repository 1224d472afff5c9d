#pragma once

#include "core/job_gate.h"
#include "harvest/list_sources.h"

#include <QObject>
#include <QTimer>

namespace ph {

class AppState;
class HarvestRun;

// Starting and stopping harvests, and the automatic harvest: Timer2 counts seconds towards
// the next harvest while "自动更新" (Check5) is ticked. The one owner of whether a harvest
// runs. Window's thread only.
class HarvestControl : public QObject {
  Q_OBJECT

 public:
  explicit HarvestControl(AppState& state, QObject* parent = nullptr);
  ~HarvestControl() override;

  // Runs once at start-up: the count-down timer ticks from now on.
  void Start();

  void StartHarvest();  // GetProxyMenu "采集代理", and the automatic harvest
  void StopHarvest();   // StopGet "停止采集"

  void Timer2Tick();  // automatic harvest

  // The harvest under way, or null: one has started and not yet ended, stopped or not.
  HarvestRun* Run() const { return run_; }
  // True while a harvest runs and has not been told to stop.
  bool Running() const;

  int UpdateTicks() const { return update_ticks_; }
  QTimer& Timer2() { return timer2_; }

  // The pause after the 66ip API had no data, for runs started from now on.
  void SetNoDataPauseMs(int ms) { no_data_pause_ms_ = ms; }
  // From now on an automatic harvest starts only when the gate says so.
  void SetGate(JobGate gate) { gate_ = std::move(gate); }
  // The file that names the public lists, for runs started from now on; empty means
  // "sources.ini" in the program directory.
  void SetSourcesPath(const QString& path) { sources_path_ = path; }
  // Whether runs started from now on end by locating the rows still without a region (one
  // web request per row without an IP database); on unless a caller wants only addresses.
  void SetRegionFill(bool on) { region_fill_ = on; }

 signals:
  // A harvest started, was told to stop, or ended: Running() may have changed.
  void RunningChanged(bool running);
  // A harvest ended, however it ended.
  void Ended();
  // The harvest under way went on to a source (HarvestRun's signals, whichever run sends them).
  void SourceStarted(const QString& name);
  void ListSourceRead(const ph::ListSourceOutcome& outcome);

 private:
  AppState& state_;
  QTimer timer2_;
  HarvestRun* run_ = nullptr;
  int32_t update_ticks_ = 0;  // UpdateTicks
  int no_data_pause_ms_ = 3000;
  QString sources_path_;
  JobGate gate_;
  bool region_fill_ = true;
};

}  // namespace ph
