#include "iploc/mapped_file.h"

#include <QFileInfo>

#include <mutex>

namespace ph {
namespace {

struct CachedMapping {
  QString path;
  qint64 size = -1;
  qint64 modified_ms = 0;
  std::shared_ptr<const MappedFile> file;
};

std::mutex cache_mutex;
CachedMapping cache;  // guarded by cache_mutex

}  // namespace

std::shared_ptr<const MappedFile> MappedFile::Open(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return nullptr;
  const qint64 size = info.size();
  const qint64 modified_ms = info.lastModified().toMSecsSinceEpoch();

  std::lock_guard lock(cache_mutex);
  if (cache.file && cache.path == path && cache.size == size && cache.modified_ms == modified_ms)
    return cache.file;
  std::shared_ptr<MappedFile> mapped(new MappedFile);
  if (!mapped->Map(path)) return nullptr;
  cache = {path, size, modified_ms, mapped};
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
