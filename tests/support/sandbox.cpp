#include "support/sandbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

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
