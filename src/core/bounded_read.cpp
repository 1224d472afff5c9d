#include "core/bounded_read.h"

#include <algorithm>

namespace ph {

BoundedBytes ReadAtMost(QIODevice& device, qint64 limit) {
  constexpr qint64 kPiece = 64 * 1024;
  BoundedBytes read;
  // One byte past the limit tells a cut text from one that ends exactly there.
  while (read.bytes.size() <= limit) {
    const QByteArray piece = device.read(std::min(kPiece, limit + 1 - read.bytes.size()));
    if (piece.isEmpty()) break;
    read.bytes += piece;
  }
  read.cut = read.bytes.size() > limit;
  if (read.cut) read.bytes.truncate(limit);
  return read;
}

BoundedBytes ReadLinesAtMost(QIODevice& device, qint64 limit, char line_end) {
  BoundedBytes read = ReadAtMost(device, limit);
  if (read.cut) read.bytes.truncate(read.bytes.lastIndexOf(line_end) + 1);
  return read;
}

}  // namespace ph
