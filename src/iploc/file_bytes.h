#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace ph {

// The bytes of a whole file, read into memory. A holder keeps them whatever happens to the
// file on disk afterwards: rewriting or truncating it in place cannot pull memory away from
// under a lookup, as it would with a mapping.
class FileBytes {
 public:
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // The bytes of the regular file at path; null when there is none. A file that cannot be
  // read, or one larger than any database, has no bytes. One copy is kept and handed out
  // again while the file keeps its path, size and modification time, so a replaced file is
  // seen at once and an unchanged one costs a single file-status query.
  static std::shared_ptr<const FileBytes> Open(const QString& path);

  QByteArrayView Bytes() const { return bytes_; }

 private:
  FileBytes() = default;

  QByteArray bytes_;
};

}  // namespace ph
