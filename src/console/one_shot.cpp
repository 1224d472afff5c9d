#include "console/one_shot.h"

#include "app/application.h"
#include "app/command_line.h"
#include "app/kept_list.h"
#include "console/console_setup.h"

#include <QCoreApplication>

#include <unistd.h>

#include <memory>

namespace ph {

using namespace Qt::StringLiterals;

OneShot::OneShot(Application& application, Job job, bool quiet)
    : application_(application), job_(job) {
  const ProgressStyle style{isatty(STDERR_FILENO) == 1, quiet};
  auto front_end = std::make_unique<ScriptFrontEnd>(application.State().StatusBar(), job, style);
  progress_ = front_end.get();
  application.SetFrontEnd(std::move(front_end));
  connect(&signals_, &StopSignals::StopAsked, this, [this] {
    interrupted_ = true;
    application_.RequestQuit(Application::kSignalQuit);
  });
  // Not from inside the job's own last step: once it has returned.
  connect(
      &application.State().StatusBar(), &Status::JobEnded, this,
      [this](Job ended) {
        if (ended == job_) application_.RequestQuit(Application::kAtOnce);
      },
      Qt::QueuedConnection);
}

std::optional<QString> OneShot::KeepListIn(const QString& db) {
  if (db.isEmpty()) return std::nullopt;
  store_.emplace(db);
  if (std::optional<QString> failure = LoadList(*store_, application_.State().List())) {
    store_.reset();
    return failure;
  }
  application_.KeepListIn(
      *store_, [this](const QString& failure) { progress_->Say(u"保存列表失败: "_s + failure); });
  return std::nullopt;
}

int OneShot::Exec(const std::function<void()>& start) {
  connect(
      &application_, &Application::Ended, this,
      [this](int code) { QCoreApplication::exit(interrupted_ ? kInterrupted : code); },
      Qt::QueuedConnection);
  application_.Start();
  start();
  return QCoreApplication::exec();
}

int RefuseToRun(const QString& sub_command, const QString& reason) {
  WriteText(stderr, u"proxyharvest "_s + sub_command + u": "_s + reason + u'\n');
  return OneShot::kBadInput;
}

}  // namespace ph
