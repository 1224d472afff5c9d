#include "iploc/database_file.h"

#include "core/program_dir.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The spelling found last is tried first, so a lookup with the database present costs one
// file-status query instead of a directory listing.
struct Remembered {
  QString dir;
  QString file;
};

std::mutex remembered_mutex;
Remembered remembered;  // guarded by remembered_mutex

}  // namespace

QString FindDatabaseFile(const ProgramDir& dir) {
  std::lock_guard lock(remembered_mutex);
  if (remembered.dir == dir.Path() && QFileInfo(remembered.file).isFile()) return remembered.file;

  const QDir directory(dir.Path());
  for (const QString& name : directory.entryList(QDir::Files)) {
    if (name.compare("qqwry.dat"_L1, Qt::CaseInsensitive) == 0) {
      remembered = {dir.Path(), directory.filePath(name)};
      return remembered.file;
    }
  }
  return {};
}

}  // namespace ph
