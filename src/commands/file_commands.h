#pragma once

#include <QString>

#include <functional>

namespace ph {

class AppState;

// WirteTxt "导出为文本": writes every row to "Zxproxyinfo.txt", after asking before
// replacing an existing file.
void ExportProxyFile(AppState& state);
// LoadProxyMenu "导入代理": appends the rows of "Zxproxyinfo.txt" to the list.
void ImportProxyFile(AppState& state);
// WirteCsv "导出为Csv": the whole list into "mm-dd hhmmss.csv" in the program directory.
void ExportCsv(AppState& state);

// The location text of an IPv4 address.
using Locator = std::function<QString(const QString& ip)>;

// GetgriMenu "粘贴数据": one new row per clipboard line that holds a ":", each with its
// location looked up.
void PasteImport(AppState& state, const Locator& locate);

}  // namespace ph
