#pragma once

#include "rotate/pool_feed.h"
#include "rotate/rotating_proxy.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace ph {

class AppState;
class ValidationRuns;

// The rotating proxy port as the settings say: on while "轮换代理" (Check12) is ticked, on
// the port, address, password and strategy of the panel, restarted when "应 用" changes them;
// its pool follows the list, rows whose upstream faulted on live traffic go first in the next
// validation run, and what it did goes into the status text. Window's thread; the port's
// relays run on threads of its own.
class RotatePort : public QObject {
  Q_OBJECT

 public:
  RotatePort(AppState& state, ValidationRuns& runs, QObject* parent = nullptr);
  ~RotatePort() override;

  // Starts the port when the box is ticked; the start-up, once the front end is up.
  void Start();
  // Starts or stops it as the box says now, and restarts it when its options changed.
  void Follow();

  RotatingProxy& Proxy() { return proxy_; }
  const RotatingProxy& Proxy() const { return proxy_; }

 private:
  RotateOptions OptionsOfPanel() const;
  void Open(const RotateOptions& options);
  void Close();

  AppState& state_;
  ValidationRuns& runs_;
  RotatingProxy proxy_;
  PoolFeed feed_;
  QTimer faults_;                         // takes the faulted rows for the next run
  std::optional<RotateOptions> running_;  // the options of the port that is open
};

}  // namespace ph
