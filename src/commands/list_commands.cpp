#include "commands/list_commands.h"

#include "core/app_state.h"
#include "core/front_end.h"
#include "core/literals.h"
#include "core/proxy_list.h"

#include <QSet>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

void ListCommands::SelectAll() { state_.List().SetAllSelected(true); }

void ListCommands::InvertSelection() { state_.List().InvertSelection(); }

void ListCommands::SelectSuccessful() {
  ProxyList& list = state_.List();
  list.SelectWhere([&](int row) { return list.CellText(row, kTestResult) == kSuccessText; });
}

void ListCommands::SelectNotValidated() {
  ProxyList& list = state_.List();
  list.SelectWhere([&](int row) { return list.CellText(row, kTestResult).isEmpty(); });
}

void ListCommands::FindAndSelect() {
  ProxyList& list = state_.List();
  if (list.RowCount() == 0) return;
  const std::optional<QString> wanted = state_.Front().AskText(
      u"请输入一个你希望查找的信息,程序将会帮你在列表中模糊的匹配IP与地址"_s, u"查找信息"_s);
  if (!wanted || wanted->isEmpty()) return;
  list.SelectWhere([&](int row) {
    return list.CellText(row, kAddress).contains(*wanted) ||
           list.CellText(row, kRegion).contains(*wanted);
  });
}

void ListCommands::CopySelected() {
  ProxyList& list = state_.List();
  if (list.RowCount() == 0) return;
  QString text;
  for (const int row : list.SelectedRows()) text += list.CellText(row, kAddress) + u"\r\n"_s;
  state_.Front().SetClipboardText(text);
  state_.StatusBar().SetText(u"复制完成!"_s);
}

void ListCommands::RemoveDuplicates() {
  ProxyList& list = state_.List();
  if (list.RowCount() == 0) return;
  FrontEnd& window = state_.Front();
  window.SetListVisible(false);
  // The first row of each address text stays, whatever the statistics of the later ones.
  QSet<QString> seen;
  seen.reserve(list.RowCount());
  std::vector<bool> later_copy(static_cast<std::size_t>(list.RowCount()));
  for (int row = 1; row <= list.RowCount(); ++row) {
    const QString& address = list.CellText(row, kAddress);
    const qsizetype before = seen.size();
    seen.insert(address);
    later_copy[static_cast<std::size_t>(row - 1)] = seen.size() == before;
  }
  list.RemoveRows(later_copy);
  list.RenumberIndex();
  window.SetListVisible(true);
}

void ListCommands::ResetHistory() {
  ProxyList& list = state_.List();
  if (list.RowCount() == 0) return;
  const std::vector<int> selected = list.SelectedRows();
  list.FillCells(selected, kTestedAt, kTestedAt);
  list.FillCells(selected, kTestCount, kSuccessCount, u"0"_s);
  list.FillCells(selected, kSuccessRatio, kFirstTestedAt);
  state_.StatusBar().SetText(u"验证历史重置成功,共重置选中: %1 个"_s.arg(selected.size()));
}

void ListCommands::ClearList() {
  FrontEnd& window = state_.Front();
  const MessageAnswer answer = window.ShowMessage(u"操作不可逆,确定要清空列表吗?"_s, u"清空列表"_s,
                                                  MessageIcon::Information, MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return;
  state_.List().Clear();
  state_.StatusBar().SetSuccesses(0);
}

}  // namespace ph
