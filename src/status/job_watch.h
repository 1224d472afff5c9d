#pragma once

#include "core/status.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>
#include <deque>
#include <optional>
#include <utility>

namespace ph {

// How far a long job has come, as the status values report it, with the rate of the last few
// seconds and the time that leaves. Window's thread only.
class JobWatch : public QObject {
  Q_OBJECT

 public:
  // The rate is taken over the progress of this long, so a pause shows soon.
  static constexpr qint64 kRateWindowMs = 10000;

  struct View {
    bool running = false;  // between its first progress and its end
    int done = 0;          // of the latest run, kept after it ended
    int total = 0;
    double per_second = 0;               // over the last few seconds
    std::optional<qint64> seconds_left;  // while running at a rate above zero
    qint64 elapsed_ms = 0;               // since the run began (to its end, once over)
  };

  explicit JobWatch(const Status& status, QObject* parent = nullptr);

  View Of(Job job) const;

 private:
  struct Track {
    bool running = false;
    int done = 0;
    int total = 0;
    qint64 started_ms = 0;
    qint64 ended_ms = 0;
    std::deque<std::pair<qint64, int>> recent;  // (ms, done) of the last kRateWindowMs
  };

  void OnProgress(Job job, int done, int total);
  void OnEnded(Job job);
  Track& TrackOf(Job job) { return tracks_[static_cast<std::size_t>(job)]; }
  const Track& TrackOf(Job job) const { return tracks_[static_cast<std::size_t>(job)]; }

  std::array<Track, 2> tracks_;
  QElapsedTimer clock_;
};

}  // namespace ph
