#pragma once

#include "app/stop_signals.h"
#include "console/script_front_end.h"
#include "store/sqlite_list_store.h"

#include <QObject>
#include <QString>

#include <optional>

namespace ph {

class Application;

// What "check" and "harvest" share around their one job: the front end on standard error,
// the list's database when one is named, and the end: once the job has ended, or on Ctrl-C
// (SIGINT) or SIGTERM after what the job had found is written.
class OneShot : public QObject {
  Q_OBJECT

 public:
  static constexpr int kBadInput = 2;
  static constexpr int kInterrupted = 130;

  // Sets the front end of the application.
  OneShot(Application& application, Job job, bool quiet);

  ScriptFrontEnd& Progress() { return *progress_; }
  // Loads the list from the database and keeps it there from now on, as the headless mode
  // does (nothing for an empty path); the reason when the database cannot be used.
  std::optional<QString> KeepListIn(const QString& db);
  // Runs the event loop from start() until the job has ended; the exit status: the
  // application's, or kInterrupted after a signal.
  int Exec(const std::function<void()>& start);
  bool Interrupted() const { return interrupted_; }

 private:
  Application& application_;
  const Job job_;
  ScriptFrontEnd* progress_ = nullptr;  // owned by the application
  std::optional<SqliteListStore> store_;
  StopSignals signals_;
  bool interrupted_ = false;
};

// Says why the sub-command cannot run on standard error; returns OneShot::kBadInput.
int RefuseToRun(const QString& sub_command, const QString& reason);

}  // namespace ph
