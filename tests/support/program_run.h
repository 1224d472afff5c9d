#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace ph::test {

// The environment of a machine without a display: DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM unset; HOME and XDG_DATA_HOME in home, when given, so that the program's
// data directory is the test's.
QProcessEnvironment NoDisplay(const QString& home = {});

// A run of the real program that has ended.
struct ProgramRun {
  int exit_code = -1;
  bool crashed = false;  // ended by a signal (an abort, a segmentation fault)
  QByteArray out;
  QByteArray err;
};

// Runs the program to its end (at most timeout_ms, then it is killed and counts as crashed),
// with input on its standard input, in the working directory dir (when given).
ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                      const QProcessEnvironment& environment, const QByteArray& input = {},
                      const QString& dir = {}, int timeout_ms = 60000);

// A program started and left running, for tests that signal it or watch its output.
class RunningProgram {
 public:
  RunningProgram(const QString& program, const QStringList& arguments,
                 const QProcessEnvironment& environment, const QString& dir = {});
  ~RunningProgram();

  // Everything it has written to standard output and standard error so far.
  const QByteArray& Out();
  const QByteArray& Err();
  // Sends the signal and waits for the end; the run, crashed when it did not end.
  ProgramRun Stop(int signal_number, int timeout_ms = 10000);
  QProcess& Process() { return process_; }

 private:
  QProcess process_;
  QByteArray out_;
  QByteArray err_;
};

}  // namespace ph::test
