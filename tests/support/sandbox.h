#pragma once

#include "core/program_dir.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

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

// A FIFO made with mkfifo, and a guard for a reader that opens it the blocking way: for as
// long as the object lives, a thread opens it for writing whenever a reader waits and closes
// it at once, so that reader gets an empty file instead of hanging the test.
class Fifo {
 public:
  explicit Fifo(const QString& path);
  ~Fifo();
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;
  bool Made() const { return made_; }

 private:
  bool made_ = false;
  std::atomic<bool> stopping_{false};
  std::thread guard_;
};

// Root writes anywhere; as nobody for as long as this object lives, permissions count. Does
// nothing for a user who is not root.
class AsNobody {
 public:
  AsNobody();
  ~AsNobody();
  AsNobody(const AsNobody&) = delete;
  AsNobody& operator=(const AsNobody&) = delete;

 private:
  bool was_root_;
};

// Runs the event loop until the predicate holds or the time is up; returns the predicate.
bool WaitFor(const std::function<bool()>& predicate, int timeout_ms = 10000);

// Milliseconds taken by a call.
long long TimeMs(const std::function<void()>& call);

}  // namespace ph::test
