#include "status/minute_history.h"

#include "status/list_tally.h"

#include <QDateTime>

namespace ph {

MinuteHistory::MinuteHistory(const ListTally& tally, QObject* parent)
    : QObject(parent), tally_(tally) {
  timer_.setInterval(kIntervalMs);
  connect(&timer_, &QTimer::timeout, this, &MinuteHistory::Take);
  timer_.start();
  // The first once the event loop runs, when the list kept from before is loaded.
  QTimer::singleShot(0, this, &MinuteHistory::Take);
}

void MinuteHistory::Take() {
  if (samples_.size() >= kMostSamples) samples_.pop_front();
  samples_.push_back({QDateTime::currentMSecsSinceEpoch(), tally_.Rows(),
                      tally_.Count(ListTally::State::kWorking)});
}

}  // namespace ph
