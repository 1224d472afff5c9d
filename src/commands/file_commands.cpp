#include "commands/file_commands.h"

#include "core/app_state.h"
#include "core/front_end.h"
#include "core/proxy_list.h"
#include "iploc/region_fill.h"
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
      state.Front().ShowMessage(u"程序目录下已经存在数据文件,是否替换?"_s, u"ProxyHarvest"_s,
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

void PasteImport(AppState& state) {
  ProxyList& list = state.List();
  std::vector<NewRow> rows;
  for (const QString& address : PastedAddresses(state.Front().ClipboardText())) {
    NewRow& row = rows.emplace_back();
    row[kAddress - 1] = address;
    row[kTestCount - 1] = u"0"_s;
    row[kSuccessCount - 1] = u"0"_s;
  }
  if (rows.empty()) return;
  const int first = list.RowCount() + 1;
  list.AppendRows(rows);
  std::vector<RowId> added;
  for (int row = first; row <= list.RowCount(); ++row) added.push_back(list.IdOf(row));
  // Found again by identity as answers come: the rows may move or go meanwhile.
  auto* fill = new RegionFill(list, state.Dir(), state.EndpointTable(), &state);
  fill->Start(std::move(added), [fill] { fill->deleteLater(); });
}

}  // namespace ph
