#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <memory>

namespace ph {

// A whole file mapped read-only into memory. A holder keeps its bytes valid even after the
// file on disk has been replaced.
class MappedFile {
 public:
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // The mapping of the regular file at path; null when there is none. A file that cannot be
  // read maps to no bytes. One mapping is kept and handed out again while the file keeps its
  // path, size and modification time, so a replaced file is seen at once and an unchanged
  // one costs a single file-status query.
  static std::shared_ptr<const MappedFile> Open(const QString& path);

  QByteArrayView Bytes() const { return bytes_; }

 private:
  MappedFile() = default;
  bool Map(const QString& path);

  QFile file_;  // owns the mapping
  QByteArrayView bytes_;
};

}  // namespace ph
