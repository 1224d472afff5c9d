#pragma once

namespace ph {

class AppState;

// SetieProxyMenu "设置为IE代理并生效": the address of the selected row (the focused one among
// several, or the focused row when none is selected) becomes the desktop's proxy, switched
// on. Does nothing on an empty list or without such a row.
void UseRowAsBrowserProxy(AppState& state);

// StopIEproxyMenu "停止IE代理": switches the desktop's proxy off; its address stays.
void StopBrowserProxy(AppState& state);

}  // namespace ph
