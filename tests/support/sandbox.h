#pragma once

#include "core/program_dir.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace ph::test {

// A temporary program directory.
class TempProgramDir {
 public:
  TempProgramDir();
  ProgramDir Dir() const { return ProgramDir(dir_.path()); }
  QString Path() const { return dir_.path(); }
  QString File(const QString& name) const { return dir_.filePath(name); }
  void Write(const QString& name, const QByteArray& bytes) const;
  QByteArray Read(const QString& name) const;

 private:
  QTemporaryDir dir_;
};

// Runs the event loop until the predicate holds or the time is up; returns the predicate.
bool WaitFor(const std::function<bool()>& predicate, int timeout_ms = 10000);

// Milliseconds taken by a call.
long long TimeMs(const std::function<void()>& call);

}  // namespace ph::test
