#pragma once

#include <QObject>

namespace ph {

class AppState;

// Starting and stopping harvests. Window's thread only.
class HarvestControl : public QObject {
  Q_OBJECT

 public:
  explicit HarvestControl(AppState& state, QObject* parent = nullptr);

  // HarvestRunning: cleared to ask a running harvest to stop at its next page boundary.
  bool HarvestRunning() const { return harvest_running_; }

  void StopHarvest();  // StopGet "停止采集"

 private:
  AppState& state_;
  bool harvest_running_ = false;
};

}  // namespace ph
