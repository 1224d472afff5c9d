#include "status/job_watch.h"

#include <cmath>

namespace ph {
namespace {

// Below this span of progress a rate would say more about the tick than about the run.
constexpr qint64 kShortestSpanMs = 900;

}  // namespace

JobWatch::JobWatch(const Status& status, QObject* parent) : QObject(parent) {
  clock_.start();
  connect(&status, &Status::Progress, this, &JobWatch::OnProgress);
  connect(&status, &Status::JobEnded, this, &JobWatch::OnEnded);
}

void JobWatch::OnProgress(Job job, int done, int total) {
  Track& track = TrackOf(job);
  const qint64 now = clock_.elapsed();
  if (!track.running) {
    track = Track{};
    track.running = true;
    track.started_ms = now;
  } else if (done < track.done || total != track.total) {
    // A run that took over from the one before, or a harvest's next stage: another count.
    track.recent.clear();
  }
  track.done = done;
  track.total = total;
  track.recent.emplace_back(now, done);
  while (track.recent.size() > 2 && now - track.recent[1].first >= kRateWindowMs)
    track.recent.pop_front();
}

void JobWatch::OnEnded(Job job) {
  Track& track = TrackOf(job);
  track.running = false;
  track.ended_ms = clock_.elapsed();
  track.recent.clear();
}

JobWatch::View JobWatch::Of(Job job) const {
  const Track& track = TrackOf(job);
  View view;
  view.running = track.running;
  view.done = track.done;
  view.total = track.total;
  view.elapsed_ms = (track.running ? clock_.elapsed() : track.ended_ms) - track.started_ms;
  if (!track.running || track.recent.size() < 2) return view;
  const auto& [first_ms, first_done] = track.recent.front();
  const auto& [last_ms, last_done] = track.recent.back();
  if (last_ms - first_ms < kShortestSpanMs) return view;
  view.per_second = (last_done - first_done) * 1000.0 / static_cast<double>(last_ms - first_ms);
  if (view.per_second > 0 && track.total >= track.done)
    view.seconds_left = std::llround((track.total - track.done) / view.per_second);
  return view;
}

}  // namespace ph
