#include "commands/file_commands.h"

#include "core/address_text.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "core/window_services.h"
#include "listio/csv_export.h"
#include "listio/gbk_file.h"
#include "listio/paste_import.h"
#include "listio/proxy_file.h"

#include <QFileInfo>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

void ExportProxyFile(AppState& state) {
  const ProxyList& list = state.List();
  if (list.RowCount() == 0) return;
  const QString path = state.Dir().File(kProxyFileName);
  if (QFileInfo::exists(path) &&
      state.Window().ShowMessage(u"程序目录下已经存在数据文件,是否替换?"_s, u"ProxyHarvest"_s,
                                 MessageIcon::Information,
                                 MessageButtons::YesNo) != MessageAnswer::Yes)
    return;
  const int error = WriteGbkFile(path, ProxyFileText(list));
  state.StatusBar().SetText(error == 0 ? u"文本数据保存完成..."_s
                                       : u"文本数据保存失败,ErrNum="_s + QString::number(error));
}

void ImportProxyFile(AppState& state) {
  const QString path = state.Dir().File(kProxyFileName);
  if (!QFileInfo::exists(path)) {
    state.StatusBar().SetText(u"文件不存在,代理数据读取失败!"_s);
    return;
  }
  state.List().AppendRows(ParseProxyFile(ReadTextFile(path)));
}

void ExportCsv(AppState& state) {
  if (state.List().RowCount() == 0) return;
  const QString path = state.Dir().File(CsvFileName(QDateTime::currentDateTime()));
  const int error = WriteListCsv(state.List(), path);
  state.StatusBar().SetText(error == 0 ? u"Csv数据保存成功 !"_s
                                       : u"Csv数据保存失败,ErrNum="_s + QString::number(error));
}

void PasteImport(AppState& state, const Locator& locate) {
  for (const QString& address : PastedAddresses(state.Window().ClipboardText())) {
    // Located before the append: the lookup lets window events run, and the new row's
    // number could change meanwhile.
    NewRow row;
    row[kAddress - 1] = address;
    row[kRegion - 1] = locate(AddressHost(address).toString());
    row[kTestCount - 1] = u"0"_s;
    row[kSuccessCount - 1] = u"0"_s;
    state.List().AppendRow(row);
  }
}

}  // namespace ph
