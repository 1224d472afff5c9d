#pragma once

namespace ph {

class AppState;

// The list's own commands from its context menu: selection, search, copy, de-duplication,
// resetting the validation history and clearing. Window's thread only.
class ListCommands {
 public:
  explicit ListCommands(AppState& state) : state_(state) {}

  void SelectAll();           // SltallMenu "全 选"
  void InvertSelection();     // SltallMenus "反 选"
  void SelectSuccessful();    // SltsucMenu "选择验证成功"
  void SelectNotValidated();  // SltsucsMenu "选择暂未验证"
  void FindAndSelect();       // FindInfo "查找"
  void CopySelected();        // CopyInfo "复制选中代理信息"
  void RemoveDuplicates();    // Rdmenu "去除重复"
  void ResetHistory();        // RestyzMenu "重置验证历史"
  void ClearList();           // ClsLv "清空列表"

 private:
  AppState& state_;
};

}  // namespace ph
