#pragma once

#include "console/unattended_front_end.h"
#include "core/status.h"

#include <QObject>
#include <QTimer>

#include <cstdio>

namespace ph {

// The front end without a window: every status text becomes one line on standard output with
// the local time ("2026-12-07 10:15:02 采集完成..."); the row and success counts are logged
// when they change, at most once a second; message boxes are logged and answered with their
// safe default (OK, or No to a question: nothing is replaced or cleared without a person);
// input boxes are answered with nothing. Nothing waits for a person.
class ConsoleFrontEnd : public QObject, public UnattendedFrontEnd {
  Q_OBJECT

 public:
  explicit ConsoleFrontEnd(const Status& status, std::FILE* out = stdout,
                           QObject* parent = nullptr);

  // A line of its own, with the time.
  void Log(const QString& text);
  void Say(const QString& line) override { Log(line); }

 private:
  void LogCounts();

  const Status& status_;
  std::FILE* out_;
  QString logged_counts_;
  QTimer counts_;  // at most one count line a second
};

}  // namespace ph
