#pragma once

#include "api/api_commands.h"
#include "core/app_state.h"
#include "core/front_end.h"
#include "iploc/ip_location.h"

#include <QString>

namespace ph::bench {

// A front end that shows nothing and answers every question with its default.
class NullWindow : public FrontEnd {
 public:
  void SetListVisible(bool) override {}
  MessageAnswer ShowMessage(const QString&, const QString&, MessageIcon, MessageButtons) override {
    return MessageAnswer::Ok;
  }
  std::optional<QString> AskText(const QString&, const QString&) override { return {}; }
  QString ClipboardText() const override { return {}; }
  void SetClipboardText(const QString&) override {}
  void HideWindow() override {}
};

// The location of an address from the program directory's database, which answers within
// the call.
inline QString LocatedNow(const QString& address, const AppState& app) {
  QString location;
  LookupIpLocation(address, app.Dir(), app.EndpointTable(), nullptr,
                   [&location](const QString& found) { location = found; });
  return location;
}

// Answers "getcount" from the list, as the command table does, and refuses everything else:
// all a hammering client asks.
inline CommandRunner CountAnswerer(const AppState& app) {
  return [&app](CommandId id, const CommandArgs&) {
    return id == CommandId::kGetCount ? CommandResult::Done(QString::number(app.List().RowCount()))
                                      : CommandResult::Refused();
  };
}

}  // namespace ph::bench
