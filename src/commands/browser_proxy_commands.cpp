#include "commands/browser_proxy_commands.h"

#include "core/app_state.h"
#include "core/front_end.h"
#include "sysproxy/browser_proxy.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

int ChosenRow(AppState& state) {
  const ProxyList& list = state.List();
  const int current = state.Front().CurrentRow();
  if (current >= 1 && current <= list.RowCount() && list.Selected(current)) return current;
  const std::vector<int> selected = list.SelectedRows();
  if (!selected.empty()) return selected.front();
  return current <= list.RowCount() ? current : 0;
}

}  // namespace

void UseRowAsBrowserProxy(AppState& state) {
  if (state.List().RowCount() == 0) return;
  const int row = ChosenRow(state);
  if (row < 1) return;
  // Switched on only once the address is in place, so a refusal leaves the desktop as it was.
  SysProxyResult result = SetBrowserProxy(state.List().CellText(row, kAddress));
  if (result.ok) result = EnableBrowserProxy();
  state.StatusBar().SetText(result.ok ? u"IE代理设置成功,请重启IE或者IE内核浏览器!"_s
                                      : u"IE代理设置失败: "_s + result.reason);
}

void StopBrowserProxy(AppState& state) {
  const SysProxyResult result = DisableBrowserProxy();
  state.StatusBar().SetText(result.ok ? u"IE代理已经停止.."_s
                                      : u"停止IE代理失败: "_s + result.reason);
}

}  // namespace ph
