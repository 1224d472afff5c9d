#include "listio/gbk_file.h"

#include "core/gbk.h"

#include <QSaveFile>

namespace ph {

int WriteGbkFile(const QString& path, const QString& text) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.error();
  const QByteArray bytes = ToGbk(text);
  if (file.write(bytes) != bytes.size()) {
    const int error = file.error() != QFileDevice::NoError ? file.error() : QFileDevice::WriteError;
    file.cancelWriting();
    return error;
  }
  if (!file.commit()) return file.error() != QFileDevice::NoError ? file.error() : QFileDevice::RenameError;
  return 0;
}

}  // namespace ph
