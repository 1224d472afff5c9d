#include "ui/message_hold.h"

#include <utility>

namespace ph {

MessageHold::MessageHold(std::chrono::milliseconds hold, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)) {
  timer_->setObjectName(QLatin1StringView(kTimerName));
  timer_->setSingleShot(true);
  timer_->setInterval(hold);
  connect(timer_, &QTimer::timeout, this, &MessageHold::HoldEnded);
}

void MessageHold::Take(const QString& text, TextKind kind) {
  if (kind == TextKind::kProblem) {
    waiting_.reset();
    timer_->start();
    emit Show(text);
  } else if (timer_->isActive()) {
    waiting_ = text;
  } else {
    emit Show(text);
  }
}

void MessageHold::HoldEnded() {
  if (waiting_) emit Show(*std::exchange(waiting_, std::nullopt));
}

}  // namespace ph
