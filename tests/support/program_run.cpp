#include "support/program_run.h"

#include "support/sandbox.h"

#include <QDir>

#include <csignal>

namespace ph::test {

using namespace Qt::StringLiterals;

QProcessEnvironment NoDisplay(const QString& home) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
    environment.remove(name);
  if (!home.isEmpty()) {
    environment.insert(u"HOME"_s, home);
    environment.insert(u"XDG_DATA_HOME"_s, QDir(home).filePath(u".local/share"_s));
  }
  return environment;
}

ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                      const QProcessEnvironment& environment, const QByteArray& input,
                      const QString& dir, int timeout_ms) {
  QProcess process;
  process.setProcessEnvironment(environment);
  if (!dir.isEmpty()) process.setWorkingDirectory(dir);
  process.start(program, arguments);
  ProgramRun run;
  if (!process.waitForStarted(10000)) return run;
  process.write(input);
  process.closeWriteChannel();
  if (!WaitFor([&] { return process.state() == QProcess::NotRunning; }, timeout_ms)) {
    process.kill();
    process.waitForFinished(5000);
    run.crashed = true;
  }
  run.crashed = run.crashed || process.exitStatus() == QProcess::CrashExit;
  run.exit_code = process.exitCode();
  run.out = process.readAllStandardOutput();
  run.err = process.readAllStandardError();
  return run;
}

RunningProgram::RunningProgram(const QString& program, const QStringList& arguments,
                               const QProcessEnvironment& environment, const QString& dir) {
  process_.setProcessEnvironment(environment);
  if (!dir.isEmpty()) process_.setWorkingDirectory(dir);
  process_.start(program, arguments);
  process_.waitForStarted(10000);
}

RunningProgram::~RunningProgram() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

const QByteArray& RunningProgram::Out() {
  out_ += process_.readAllStandardOutput();
  return out_;
}

const QByteArray& RunningProgram::Err() {
  err_ += process_.readAllStandardError();
  return err_;
}

ProgramRun RunningProgram::Stop(int signal_number, int timeout_ms) {
  ProgramRun run;
  if (process_.state() != QProcess::NotRunning)
    ::kill(static_cast<pid_t>(process_.processId()), signal_number);
  run.crashed = !WaitFor([&] { return process_.state() == QProcess::NotRunning; }, timeout_ms);
  run.crashed = run.crashed || process_.exitStatus() == QProcess::CrashExit;
  run.exit_code = process_.exitCode();
  run.out = Out();
  run.err = Err();
  return run;
}

}  // namespace ph::test
