#include "support/sandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ph::test {

TempProgramDir::TempProgramDir() = default;

void TempProgramDir::Write(const QString& name, const QByteArray& bytes) const {
  QFile file(File(name));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

QByteArray TempProgramDir::Read(const QString& name) const {
  QFile file(File(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Fifo::Fifo(const QString& path)
    : made_(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0),
      guard_([this, name = QFile::encodeName(path)] {
        while (made_ && !stopping_) {
          // Succeeds only while a reader is there.
          const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) ::close(fd);
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }) {}

Fifo::~Fifo() {
  stopping_ = true;
  guard_.join();
}

AsNobody::AsNobody() : was_root_(geteuid() == 0) {
  if (was_root_ && (setegid(65534) != 0 || seteuid(65534) != 0)) std::abort();
}

AsNobody::~AsNobody() {
  if (was_root_ && (seteuid(0) != 0 || setegid(0) != 0)) std::abort();
}

bool WaitFor(const std::function<bool()>& predicate, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!predicate()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

long long TimeMs(const std::function<void()>& call) {
  QElapsedTimer clock;
  clock.start();
  call();
  return clock.elapsed();
}

}  // namespace ph::test
