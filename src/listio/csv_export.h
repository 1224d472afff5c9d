#pragma once

#include <QDateTime>
#include <QString>

namespace ph {

class ProxyList;

// The list under its column captions as GBK CSV: the Index cell plain, every other cell as
// ="text". Returns 0, or the number of the failed file operation; an empty list is a failure
// that creates no file.
int WriteListCsv(const ProxyList& list, const QString& path);

// "mm-dd hhmmss.csv" for the given local time.
QString CsvFileName(const QDateTime& when);

}  // namespace ph
