#pragma once

#include <QString>

namespace ph {

// Outcome of a desktop proxy change. The reason is a few words for the status bar, after
// "IE代理设置失败: " or "停止IE代理失败: ".
struct SysProxyResult {
  bool ok = true;
  QString reason;
};

// Makes address the desktop's proxy: "ip:port" is an HTTP proxy for HTTP and HTTPS,
// "socks4://ip:port" and "socks5://ip:port" the SOCKS proxy. Each kind clears the other,
// so the browser goes through exactly the proxy just set. Anything else is refused and
// nothing is written.
SysProxyResult SetBrowserProxy(const QString& address);

// Switches the desktop proxy on (manual mode) or off; the address stays in place.
SysProxyResult EnableBrowserProxy();
SysProxyResult DisableBrowserProxy();

}  // namespace ph
