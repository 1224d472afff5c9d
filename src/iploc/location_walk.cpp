#include "iploc/location_walk.h"

#include "iploc/ip_location.h"

#include <QElapsedTimer>
#include <QTimer>

namespace ph {
namespace {

// Longest stretch of work between two turns of the event loop.
constexpr int kSliceMs = 30;

}  // namespace

LocationWalk::LocationWalk(const ProgramDir& dir, const Endpoints& endpoints, QObject* parent)
    : QObject(parent), dir_(dir), endpoints_(endpoints) {}

void LocationWalk::Start(Next next, Got got, Pause pause, std::function<void()> done) {
  next_ = std::move(next);
  got_ = std::move(got);
  pause_ = std::move(pause);
  done_ = std::move(done);
  waiting_ = false;
  Continue();
}

void LocationWalk::Continue() {
  QElapsedTimer slice;
  slice.start();
  while (true) {
    if (slice.elapsed() >= kSliceMs) {
      if (pause_) pause_();
      QTimer::singleShot(0, this, &LocationWalk::Continue);
      return;
    }
    const std::optional<QString> address = next_();
    if (!address) break;
    const uint64_t answers_before = answers_;
    LookupIpLocation(*address, dir_, endpoints_, this, [this](const QString& location) {
      ++answers_;
      got_(location);
      // An answer from the web continues the walk; one from the database came inside it.
      if (waiting_) {
        waiting_ = false;
        Continue();
      }
    });
    if (answers_ == answers_before) {
      waiting_ = true;
      if (pause_) pause_();
      return;
    }
  }
  if (pause_) pause_();
  if (done_) {
    auto done = std::move(done_);
    done_ = nullptr;
    done();
  }
}

}  // namespace ph
