#pragma once

#include "core/endpoints.h"
#include "core/program_dir.h"
#include "core/proxy_list.h"
#include "core/run_state.h"
#include "core/settings.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace ph {

class ResultBuffer;
class WindowServices;

// The non-visual owner of everything that lives longer than one command: the list, the
// settings, the three timers and the state shared with validation workers.
// Window's thread only.
class AppState : public QObject {
  Q_OBJECT

 public:
  AppState(WindowServices& window, ProgramDir dir, QObject* parent = nullptr);

  WindowServices& Window() { return window_; }
  ProxyList& List() { return list_; }
  Settings& Config() { return settings_; }
  const Endpoints& EndpointTable() const { return endpoints_; }
  const ProgramDir& Dir() const { return dir_; }

  QTimer& Timer1() { return timer1_; }  // automatic re-validation count-down
  QTimer& Timer2() { return timer2_; }  // automatic harvest count-down
  QTimer& Timer3() { return timer3_; }  // progress of a validation run

  const std::shared_ptr<ValidationShared>& Validation() const { return validation_; }
  // The latest validation run, or null before the first.
  const std::shared_ptr<RunState>& CurrentRun() const { return current_run_; }
  void SetCurrentRun(std::shared_ptr<RunState> run) { current_run_ = std::move(run); }
  // True while the latest run may go on.
  bool TestRunning() const;

  // Runs once the window is shown.
  void Startup();
  // Copies the panel into the working values; a refusal goes to the status text.
  void ApplySettings();
  // Takes everything in the buffer and applies it to the rows; counts successes in panel 4.
  void Addlvstr(ResultBuffer& buffer);
  // "退出": ends at once, or during a run lets the workers stop first.
  void EndMenu();

 private:
  WindowServices& window_;
  ProgramDir dir_;
  Endpoints endpoints_;
  ProxyList list_;
  Settings settings_;
  QTimer timer1_;
  QTimer timer2_;
  QTimer timer3_;
  std::shared_ptr<ValidationShared> validation_ = std::make_shared<ValidationShared>();
  std::shared_ptr<RunState> current_run_;
};

}  // namespace ph
