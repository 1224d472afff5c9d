#include "iploc/database_file.h"

#include "core/program_dir.h"
#include "iploc/file_bytes.h"

#include <QDir>

#include <mutex>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The file found last is tried first, so a lookup with the database present needs no
// directory listing.
struct Remembered {
  QStringList dirs;
  QString file;
};

std::mutex remembered_mutex;
Remembered remembered;  // guarded by remembered_mutex

}  // namespace

std::optional<DatabaseFile> OpenDatabaseFile(const ProgramDir& dir) {
  std::lock_guard lock(remembered_mutex);
  if (remembered.dirs == dir.DatabaseDirs()) {
    if (auto bytes = FileBytes::Open(remembered.file)) return DatabaseFile{remembered.file, bytes};
  }
  for (const QString& path_of_dir : dir.DatabaseDirs()) {
    const QDir directory(path_of_dir);
    for (const QString& name : directory.entryList(QDir::Files)) {
      if (name.compare("qqwry.dat"_L1, Qt::CaseInsensitive) != 0) continue;
      const QString path = directory.filePath(name);
      if (auto bytes = FileBytes::Open(path)) {
        remembered = {dir.DatabaseDirs(), path};
        return DatabaseFile{path, bytes};
      }
    }
  }
  return std::nullopt;
}

}  // namespace ph
