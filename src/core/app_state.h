#pragma once

#include "core/endpoints.h"
#include "core/program_dir.h"
#include "core/proxy_list.h"
#include "core/settings.h"
#include "core/status.h"

#include <QObject>

namespace ph {

class WindowServices;

// The state every command works on: the list, the settings and the status values. Its front
// end (window, console or a test's fake)
// is set once and shows the status values as they change. Window's thread only.
class AppState : public QObject {
  Q_OBJECT

 public:
  explicit AppState(ProgramDir dir, QObject* parent = nullptr);
  AppState(WindowServices& window, ProgramDir dir, QObject* parent = nullptr);

  // The front end; until one is set, a stand-in that answers every question with its default.
  WindowServices& Window() { return *window_; }
  // Makes window the front end and shows it the current status values.
  void SetWindow(WindowServices& window);

  ProxyList& List() { return list_; }
  const ProxyList& List() const { return list_; }
  Settings& Config() { return settings_; }
  const Settings& Config() const { return settings_; }
  Status& StatusBar() { return status_; }
  const Endpoints& EndpointTable() const { return endpoints_; }
  const ProgramDir& Dir() const { return dir_; }

  // Runs once the front end is up.
  void Startup();
  // Copies the panel into the working values; a refusal goes to the status text.
  // False when refused.
  bool ApplySettings();

 private:
  void ShowStatus();

  WindowServices* window_;
  ProgramDir dir_;
  Endpoints endpoints_;
  ProxyList list_;
  Settings settings_;
  Status status_{list_};
};

}  // namespace ph
