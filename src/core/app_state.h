#pragma once

#include "core/endpoints.h"
#include "core/program_dir.h"
#include "core/proxy_list.h"
#include "core/settings.h"
#include "core/status.h"

#include <QObject>

namespace ph {

class FrontEnd;

// The state every command works on: the list, the settings and the status values, and the
// front end that answers the questions only a person can answer. Window's thread only.
class AppState : public QObject {
  Q_OBJECT

 public:
  explicit AppState(ProgramDir dir, QObject* parent = nullptr);
  AppState(FrontEnd& front_end, ProgramDir dir, QObject* parent = nullptr);

  // The front end; while none is set, a stand-in that answers every question with its
  // default and shows nothing.
  FrontEnd& Front() { return *front_end_; }
  // Null sets the stand-in again: whoever owns the front end clears it before it goes.
  void SetFrontEnd(FrontEnd* front_end);

  ProxyList& List() { return list_; }
  const ProxyList& List() const { return list_; }
  Settings& Config() { return settings_; }
  const Settings& Config() const { return settings_; }
  Status& StatusBar() { return status_; }
  const Status& StatusBar() const { return status_; }
  const Endpoints& EndpointTable() const { return endpoints_; }
  const ProgramDir& Dir() const { return dir_; }

  // Runs once the front end is up.
  void Startup();
  // Copies the panel into the working values; a refusal goes to the status text.
  // False when refused.
  bool ApplySettings();

 private:
  FrontEnd* front_end_;
  ProgramDir dir_;
  Endpoints endpoints_;
  ProxyList list_;
  Settings settings_;
  Status status_{list_};
};

}  // namespace ph
