#include "iploc/mapped_file.h"

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

struct CachedMapping {
  QString path;
  FileStamp stamp;
  std::shared_ptr<const MappedFile> file;
};

std::mutex cache_mutex;
CachedMapping cache;  // guarded by cache_mutex

}  // namespace

std::shared_ptr<const MappedFile> MappedFile::Open(const QString& path) {
  const std::optional<FileStamp> stamp = StampOf(path);
  if (!stamp) return nullptr;

  std::lock_guard lock(cache_mutex);
  if (cache.file && cache.stamp == *stamp && cache.path == path) return cache.file;
  std::shared_ptr<MappedFile> mapped(new MappedFile);
  // An unreadable file is not kept: it may become readable without being modified.
  if (mapped->Map(path)) cache = {path, *stamp, mapped};
  return mapped;
}

bool MappedFile::Map(const QString& path) {
  file_.setFileName(path);
  if (!file_.open(QIODevice::ReadOnly)) return false;
  const qint64 size = file_.size();
  // An empty file cannot be mapped; it simply has no bytes.
  if (size > 0) {
    const uchar* data = file_.map(0, size);
    if (data == nullptr) return false;
    bytes_ = QByteArrayView(data, size);
  }
  // The mapping outlives the open handle.
  file_.close();
  return true;
}

}  // namespace ph
