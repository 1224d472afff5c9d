#pragma once

#include <QObject>
#include <QTimer>

#include <deque>

namespace ph {

class ListTally;

// The list's size and its working rows once a minute over the last day, for the status
// page's chart: at most one day of samples, the oldest dropped first. Window's thread only.
class MinuteHistory : public QObject {
  Q_OBJECT

 public:
  static constexpr int kIntervalMs = 60 * 1000;
  static constexpr std::size_t kMostSamples = 24 * 60;

  struct Sample {
    qint64 at_ms = 0;  // since the epoch
    int rows = 0;
    int working = 0;
  };

  // Takes the first sample as soon as the event loop runs.
  explicit MinuteHistory(const ListTally& tally, QObject* parent = nullptr);

  // Oldest first.
  const std::deque<Sample>& Samples() const { return samples_; }
  int IntervalMs() const { return timer_.interval(); }

  // For tests and benchmarks: another interval from now on.
  void SetIntervalMs(int ms) { timer_.setInterval(ms); }

 private:
  void Take();

  const ListTally& tally_;
  std::deque<Sample> samples_;
  QTimer timer_;
};

}  // namespace ph
