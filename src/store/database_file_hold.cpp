#include "store/database_file_hold.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ph {

using namespace Qt::StringLiterals;

DatabaseFileHold::~DatabaseFileHold() {
  // Closing any descriptor of the file drops the POSIX locks this process holds on it, SQLite's
  // among them; hence only once SQLite's connection is closed.
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// As the user the process acts as, which is what SQLite's writes will meet.
std::optional<QString> DirectoryNotWritable(const QString& path) {
  const QString dir = QFileInfo(path).absolutePath();
  if (::faccessat(AT_FDCWD, QFile::encodeName(dir).constData(), W_OK | X_OK, AT_EACCESS) == 0)
    return std::nullopt;
  return u"数据库 %1 所在的目录 %2 不可写 (%3)"_s.arg(
      QDir::toNativeSeparators(path), QDir::toNativeSeparators(dir), qt_error_string(errno));
}

}  // namespace

std::optional<QString> FileNotWritable(const QString& path) {
  if (std::optional<QString> refusal = DirectoryNotWritable(path)) return refusal;
  if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0)
    return std::nullopt;
  return u"数据库文件 %1 不可写 (%2)"_s.arg(QDir::toNativeSeparators(path), qt_error_string(errno));
}

std::optional<QString> DatabaseFileHold::Take(const QString& path) {
  const QString shown = QDir::toNativeSeparators(path);
  if (std::optional<QString> refusal = DirectoryNotWritable(path)) return refusal;
  // Opened for writing, which is the check that it can be written; without waiting, so a
  // FIFO cannot block the open; not inherited by programs this one starts, which would hold
  // the lock on.
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return u"数据库文件 %1 不可写 (%2)"_s.arg(shown, qt_error_string(errno));
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return u"数据库 %1 不是普通文件"_s.arg(shown);
  }
  // A lock of the open file, released by the system whenever the process ends, a crash
  // included; SQLite's own locks are of another kind and do not meet it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return u"数据库 %1 正由另一个进程使用"_s.arg(shown);
    return u"无法锁定数据库 %1 (%2)"_s.arg(shown, qt_error_string(error));
  }
  fd_ = fd;
  return std::nullopt;
}

}  // namespace ph
