#pragma once

#include <QString>

namespace ph {

class AppState;

// The program's own copy of its list: "Zxproxyinfo.txt" in the program directory, GBK,
// CR LF, ten "|"-separated fields per row.
inline const QString kProxyFileName = QStringLiteral("Zxproxyinfo.txt");

// WirteTxt "导出为文本": writes every row, after asking before replacing an existing file.
void ExportProxyFile(AppState& state);
// LoadProxyMenu "导入代理": appends the file's rows to the list.
void ImportProxyFile(AppState& state);

// The whole text of a file read line by line: a line ends at CR or CR LF (a lone LF does
// not end one), and every line comes back followed by CR LF. "" when the file is missing.
QString ReadTextFile(const QString& path);

}  // namespace ph
