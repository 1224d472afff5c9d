#pragma once

#include "core/proxy_list.h"

#include <QString>
#include <QtGlobal>

#include <vector>

namespace ph {

// The program's own copy of its list: "Zxproxyinfo.txt" in the program directory, GBK,
// CR LF, ten "|"-separated fields per row.
inline const QString kProxyFileName = QStringLiteral("Zxproxyinfo.txt");

// The file's text for every row of the list.
QString ProxyFileText(const ProxyList& list);

// The rows of a file's text as ReadTextFile gives it: one row per line holding "|", its
// validation counters "0". Nothing when the text holds no "|" or no ":".
std::vector<NewRow> ParseProxyFile(const QString& text);

// Far beyond any list the program can hold (ten million rows).
inline constexpr qint64 kMostTextFileBytes = 256 * 1024 * 1024;

// The whole text of a file read line by line: a line ends at CR or CR LF (a lone LF does
// not end one), and every line comes back followed by CR LF. "" when the file is missing.
// A longer file gives the whole lines of its first most_bytes.
QString ReadTextFile(const QString& path, qint64 most_bytes = kMostTextFileBytes);

}  // namespace ph
