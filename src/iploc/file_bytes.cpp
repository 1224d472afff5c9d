#include "iploc/file_bytes.h"

#include <QFileInfo>

#include <mutex>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace ph {
namespace {

// What tells one version of a file from another.
struct FileStamp {
  qint64 size = -1;
  qint64 modified = 0;  // in the finest unit the platform gives
  quint64 file_id = 0;  // where the platform has one: a file moved into place is a new file
  bool operator==(const FileStamp&) const = default;
};

// Larger than any real database; a bigger file is read as having no bytes.
constexpr qint64 kMostBytes = 256 * 1024 * 1024;

// One file-status query. QFileInfo would add a second one, and its local-time modification
// date a third, per lookup.
std::optional<FileStamp> StampOf(const QString& path) {
#ifdef Q_OS_UNIX
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
    return std::nullopt;
  return FileStamp{status.st_size,
                   qint64{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec,
                   quint64{status.st_ino}};
#else
  const QFileInfo info(path);
  if (!info.isFile()) return std::nullopt;
  return FileStamp{info.size(), info.lastModified().toMSecsSinceEpoch(), 0};
#endif
}

struct CachedBytes {
  QString path;
  FileStamp stamp;
  std::shared_ptr<const FileBytes> file;
};

std::mutex cache_mutex;
CachedBytes cache;  // guarded by cache_mutex

}  // namespace

std::shared_ptr<const FileBytes> FileBytes::Open(const QString& path) {
  const std::optional<FileStamp> stamp = StampOf(path);
  if (!stamp) return nullptr;

  std::lock_guard lock(cache_mutex);
  if (cache.file && cache.stamp == *stamp && cache.path == path) return cache.file;
  std::shared_ptr<FileBytes> read(new FileBytes);
  QFile file(path);
  if (stamp->size > kMostBytes || !file.open(QIODevice::ReadOnly)) return read;
  read->bytes_ = file.read(stamp->size);
  // A file changed while it was read is kept only for this lookup: the next one reads again.
  // A file that cannot be read is not kept either: it may become readable unmodified.
  if (file.error() == QFileDevice::NoError && StampOf(path) == stamp &&
      read->bytes_.size() == stamp->size)
    cache = {path, *stamp, read};
  return read;
}

}  // namespace ph
