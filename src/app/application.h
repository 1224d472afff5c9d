#pragma once

#include "api/api_server.h"
#include "commands/command_table.h"
#include "commands/list_commands.h"
#include "core/app_state.h"
#include "core/program_dir.h"
#include "harvest/harvest_control.h"
#include "validate/validation_run.h"

#include <QObject>

#include <memory>

namespace ph {

class WindowServices;

// The composition root: owns the core (the state, the validation runs, the list commands, the
// harvest, the control API), the one table of user commands, and the front end that shows them (the
// window or the headless console). Window's thread only.
class Application : public QObject {
  Q_OBJECT

 public:
  explicit Application(ProgramDir dir, QObject* parent = nullptr);
  ~Application() override;

  AppState& State() { return state_; }
  ValidationRuns& Runs() { return runs_; }
  HarvestControl& Harvest() { return harvest_; }
  ApiServer& Api() { return api_; }
  const CommandTable& Commands() const { return commands_; }

  // The front end shows the core from now on and answers its questions; it lives until the
  // application ends, and goes before the core does.
  void SetFrontEnd(std::unique_ptr<WindowServices> front_end);
  // The start-up, once the front end is up.
  void Start();

  // EndMenu "退出": ends at once, or during a run lets the workers stop first.
  void EndMenu();
  // True while validation workers are still alive, for instance inside a probe.
  bool WorkersAlive() const;

  // Command4: starts or stops the control API; a failed start is shown in a message box.
  void ToggleApi();

 private:
  void AddCommands();

  AppState state_;
  ValidationRuns runs_{state_};
  ListCommands list_commands_{state_};
  HarvestControl harvest_{state_, runs_};
  CommandTable commands_;
  ApiServer api_{state_, [this](QStringView name) { return commands_.Run(name); }};
  std::unique_ptr<WindowServices> front_end_;
};

}  // namespace ph
