#pragma once

#include "api/api_server.h"
#include "app/rotate_port.h"
#include "app/status_port.h"
#include "commands/command_table.h"
#include "commands/list_commands.h"
#include "core/app_state.h"
#include "core/program_dir.h"
#include "harvest/harvest_control.h"
#include "validate/retest_timer.h"
#include "validate/validation_run.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <random>

namespace ph {

class FrontEnd;
class ListStore;
class SharedPool;
class StoreKeeper;

// The composition root: owns the core (the state, the validation runs and their engine, the
// list commands, the harvest, the re-validation timer, the control API, the list's store when
// there is one), runs the one table of commands for every front end, and owns the front end
// that shows them (the window or the console). Window's thread only.
class Application : public QObject {
  Q_OBJECT

 public:
  explicit Application(ProgramDir dir, QObject* parent = nullptr);
  ~Application() override;

  AppState& State() { return state_; }
  ValidationRuns& Runs() { return runs_; }
  HarvestControl& Harvest() { return harvest_; }
  RetestTimer& Retest() { return retest_; }
  ApiServer& Api() { return api_; }
  RotatePort& Rotate() { return rotate_; }
  StatusPort& StatusService() { return status_; }

  // Every command, whoever asks: menus, buttons, the control API, the console.
  CommandResult Run(CommandId id, const CommandArgs& args = {});

  // The front end shows the core from now on and answers its questions; it lives until the
  // application ends, and goes before the core does.
  void SetFrontEnd(std::unique_ptr<FrontEnd> front_end);
  // The list is kept in the store from now on: changes are written within a few seconds, and
  // everything at the end.
  void KeepListIn(ListStore& store, std::function<void(const QString& failure)> report);
  // The list's store is shared with other instances: so are the validation runs, and the
  // automatic harvest and validation take turns with them. After KeepListIn.
  void ShareWith(SharedPool& pool);
  // The start-up, once the front end is up.
  void Start();

  // How an end waits for the probes under way: at least and at most this long.
  struct QuitWait {
    int at_least_ms = 0;
    int at_most_ms = 0;
  };
  // "退出" waits a second for the probes of a run, with the window hidden.
  static constexpr QuitWait kMenuQuit{1000, 1000};
  // A stop signal lets probes end for up to two seconds.
  static constexpr QuitWait kSignalQuit{0, 2000};
  // Closing the window ends at once.
  static constexpr QuitWait kAtOnce{0, 0};
  // The one orderly end, whoever asks: the harvest and the validation run are told to stop,
  // the window goes when probes are under way, and once they have ended or the wait is over
  // the engine's threads are joined, what they found is applied, the list is saved, and
  // Ended is emitted with the exit status (not 0 when the list could not be saved).
  void RequestQuit(QuitWait wait);
  bool Quitting() const { return quitting_; }
  // True while probes are under way.
  bool ProbesAlive() const;
  // Why the program is not healthy: it is ending, or its list is not safe in the store;
  // nothing while it is. Writes nothing.
  std::optional<QString> Health() const;

  // For tests: the seed of the random draws of "getip".
  void SeedRandom(unsigned seed) { random_.seed(seed); }

 signals:
  // The program is to end with this status.
  void Ended(int exit_code);
  // The list was written at the end (or could not be).
  void ListSaved(bool ok, int rows);

 private:
  void FollowJobs();
  void Finish();

  AppState state_;
  ValidationRuns runs_{state_};
  ListCommands list_commands_{state_};
  HarvestControl harvest_{state_};
  RetestTimer retest_{state_, runs_};
  std::mt19937 random_;
  ApiServer api_{state_, [this](CommandId id, const CommandArgs& args) { return Run(id, args); }};
  Core core_{
      state_, runs_, harvest_, list_commands_, api_, random_, [this] { RequestQuit(kMenuQuit); }};
  RotatePort rotate_{state_, runs_};
  std::unique_ptr<StoreKeeper> keeper_;
  SharedPool* pool_ = nullptr;
  StatusPort status_{
      state_, StatusFeeds{&runs_, &harvest_, &api_, &rotate_.Proxy(), [this] { return Health(); }}};
  std::unique_ptr<FrontEnd> front_end_;
  QTimer quit_poll_;
  QElapsedTimer quit_clock_;
  QuitWait quit_wait_;
  bool quitting_ = false;
};

}  // namespace ph
