#pragma once

#include <QObject>

class QSocketNotifier;

namespace ph {

// SIGINT and SIGTERM as an event of the window's thread: the first asks for an orderly stop,
// a second one ends the process at once. One object per process.
class StopSignals : public QObject {
  Q_OBJECT

 public:
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  void StopAsked(int signal_number);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ph
