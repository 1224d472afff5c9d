#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>

namespace ph::fuzz {

// The application object the file code needs, made once for the whole fuzzing run.
inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

// A scratch directory for the run's files.
inline QTemporaryDir& Scratch() {
  static QTemporaryDir dir;
  return dir;
}

}  // namespace ph::fuzz
