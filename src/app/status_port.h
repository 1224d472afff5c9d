#pragma once

#include "status/status_board.h"
#include "status/status_listener.h"

#include <QObject>
#include <QString>

#include <optional>

namespace ph {

class AppState;

// The status listener as the settings say: open while "状态页" (Check13) is ticked, on the
// port, address and password of the panel, restarted when "应 用" changes them. Without a
// password of its own it takes the control API's when its address is not a loopback one.
// The board behind it lives as long as the core, so the page's history starts with the
// program. Window's thread only.
class StatusPort : public QObject {
  Q_OBJECT

 public:
  StatusPort(AppState& state, StatusFeeds feeds, QObject* parent = nullptr);

  // Opens, closes or restarts the listener as the panel says now.
  void Follow();
  // Why the listener could not be opened the last time it was to open; nothing once it is.
  const std::optional<QString>& Failure() const { return failure_; }

  StatusBoard& Board() { return board_; }
  StatusListener& Listener() { return listener_; }
  const StatusListener& Listener() const { return listener_; }

 private:
  StatusOptions OptionsOfPanel() const;
  void Open(const StatusOptions& options);
  void Close();

  AppState& state_;
  StatusBoard board_;
  StatusListener listener_{board_};
  std::optional<StatusOptions> running_;  // the options of the listener that is open
  std::optional<QString> failure_;
};

}  // namespace ph
