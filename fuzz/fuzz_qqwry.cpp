// The IP database reader over arbitrary files: every lookup ends, whatever the bytes.
#include "core/program_dir.h"
#include "iploc/database_file.h"
#include "iploc/qqwry.h"

#include "fuzz_support.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ph::fuzz::EnsureApplication();
  QTemporaryDir& dir = ph::fuzz::Scratch();
  static int generation = 0;

  // A new name each time, so the cached mapping of an earlier input is never reused.
  const QString path = dir.filePath(QStringLiteral("db%1/qqwry.dat").arg(++generation));
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return 0;
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();

  for (const char* address : {"0.0.0.0", "1.2.3.4", "127.0.0.1", "255.255.255.7", "255.255.255.255"}) {
    ph::QQWry reader{
        ph::OpenDatabaseFile(ph::ProgramDir(QFileInfo(path).path())).value_or(ph::DatabaseFile{})};
    reader.Lookup(QString::fromLatin1(address));
  }
  QFile::remove(path);
  QDir().rmdir(QFileInfo(path).path());
  return 0;
}
