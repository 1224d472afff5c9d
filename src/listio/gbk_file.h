#pragma once

#include <QString>

namespace ph {

// Writes text to path as GBK, replacing the file only once everything is written, so a
// failed write never destroys the previous file. Returns 0, or the number of the failed
// file operation.
int WriteGbkFile(const QString& path, const QString& text);

}  // namespace ph
