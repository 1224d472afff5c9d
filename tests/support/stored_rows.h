#pragma once

#include <QString>
#include <QStringList>

namespace ph::test {

// The whole list as the program's SQLite database holds it: one text per row, its 14 cells
// joined by "|", in row order; read-only, so a program holding the file is not disturbed.
QStringList DatabaseRows(const QString& path);

}  // namespace ph::test
