#pragma once

#include "core/status.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace ph {

// What panel 7 shows of the status texts: each at once, except that a problem stays for the
// hold before a progress text replaces it. Progress texts that come during the hold wait, and
// the latest of them shows when it is over; a later problem replaces a problem at once.
class MessageHold : public QObject {
  Q_OBJECT

 public:
  // The hold's timer is named so, for tests that end the hold early.
  static constexpr char kTimerName[] = "ProblemHold";

  MessageHold(std::chrono::milliseconds hold, QObject* parent);

  void Take(const QString& text, TextKind kind);

 signals:
  void Show(const QString& text);

 private:
  void HoldEnded();

  QTimer* timer_;                   // runs while a problem is held
  std::optional<QString> waiting_;  // the latest progress text of the hold
};

}  // namespace ph
