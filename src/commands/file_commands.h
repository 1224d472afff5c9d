#pragma once

namespace ph {

class AppState;

// WirteTxt "导出为文本": writes every row to "Zxproxyinfo.txt", after asking before
// replacing an existing file.
void ExportProxyFile(AppState& state);
// LoadProxyMenu "导入代理": appends the rows of "Zxproxyinfo.txt" to the list.
void ImportProxyFile(AppState& state);
// WirteCsv "导出为Csv": the whole list into "mm-dd hhmmss.csv" in the program directory.
void ExportCsv(AppState& state);

// GetgriMenu "粘贴数据": one new row per clipboard line that holds a ":"; their regions are
// filled in afterwards, as a harvest's are, the window staying free meanwhile.
void PasteImport(AppState& state);

}  // namespace ph
