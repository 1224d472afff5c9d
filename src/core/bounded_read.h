#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <optional>

namespace ph {

// Settings files a person writes are far smaller; a larger one is not read past this.
inline constexpr qint64 kMostSettingsFileBytes = 1024 * 1024;

struct BoundedBytes {
  QByteArray bytes;  // the first `limit` bytes at most
  bool cut = false;  // there was more
};

// Reads an open device up to `limit` bytes, in pieces, so that a pipe, a device or a file
// that grows while it is read never takes more memory than the limit.
BoundedBytes ReadAtMost(QIODevice& device, qint64 limit);

// The same for a text of lines: a cut text keeps only the lines that end before the limit,
// as a cut line would be read as a different, shorter one. No GBK trail byte is a CR or LF.
BoundedBytes ReadLinesAtMost(QIODevice& device, qint64 limit, char line_end);

// A file a person named, as far as it was read; or why it was not.
struct FileRead {
  BoundedBytes content;
  QString problem;  // a few words for a status text; empty when the file was read
};

// Reads the file at path up to `limit` bytes (whole lines only when line_end is given), but
// only a regular file: a FIFO would block the thread in open and a device may never end, so
// anything else is refused with the problem "不是普通文件".
FileRead ReadRegularFile(const QString& path, qint64 limit,
                         std::optional<char> line_end = std::nullopt);

}  // namespace ph
