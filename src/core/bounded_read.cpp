#include "core/bounded_read.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace ph {

using namespace Qt::StringLiterals;

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

FileRead ReadRegularFile(const QString& path, qint64 limit, std::optional<char> line_end) {
  FileRead read;
  const QString not_regular = u"不是普通文件"_s;
  QFile file(path);
#ifdef Q_OS_UNIX
  // Opened without waiting for a writer, so a FIFO cannot block the open, and judged by the
  // opened file itself, so nothing can take the checked file's place.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    read.problem = qt_error_string(errno);
    return read;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    read.problem = not_regular;
    return read;
  }
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    read.problem = file.errorString();
    return read;
  }
#else
  if (QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
    read.problem = not_regular;
    return read;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    read.problem = file.errorString();
    return read;
  }
#endif
  read.content = line_end ? ReadLinesAtMost(file, limit, *line_end) : ReadAtMost(file, limit);
  return read;
}

}  // namespace ph
