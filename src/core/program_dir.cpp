#include "core/program_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

#include <utility>

namespace ph {

ProgramDir::ProgramDir() : ProgramDir(ForExecutableIn(QCoreApplication::applicationDirPath())) {}

ProgramDir::ProgramDir(QString path) : path_(std::move(path)), database_dirs_{path_} {}

ProgramDir ProgramDir::ForExecutableIn(const QString& executable_dir) {
  const QString system_data =
      QDir::cleanPath(QDir(executable_dir).filePath(QStringLiteral(PH_SYSTEM_DATA_FROM_BIN)));
  // access() and not the permission bits: a read-only mount counts as not writable.
  const bool writable = ::access(QFile::encodeName(executable_dir).constData(), W_OK) == 0;
  if (writable && !QFileInfo(system_data).isDir()) return ProgramDir(executable_dir);
  ProgramDir dir(UserDataDir());
  QDir().mkpath(dir.path_);
  dir.database_dirs_ << system_data;
  dir.in_data_dir_ = true;
  return dir;
}

QString ProgramDir::File(const QString& name) const { return QDir(path_).filePath(name); }

QString UserDataDir() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

}  // namespace ph
