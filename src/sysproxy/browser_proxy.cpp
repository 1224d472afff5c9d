#include "sysproxy/browser_proxy.h"

#include "sysproxy/gnome_proxy.h"
#include "sysproxy/kde_proxy.h"
#include "sysproxy/proxy_backend.h"

#include <functional>
#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The back end of this session's desktop, or a reason. A Windows registry back end would be
// chosen here as well.
std::unique_ptr<ProxyBackend> SessionBackend(SysProxyResult* failure) {
  switch (ChooseDesktop(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), GnomeSchemaInstalled())) {
    case Desktop::Kde:
      return std::make_unique<KdeProxy>(KdeProxy::SessionConfigDir(), true);
    case Desktop::Gnome:
      return std::make_unique<GnomeProxy>();
    case Desktop::None:
      break;
  }
  *failure = SysProxyFailure(u"未找到桌面代理设置(不是KDE,也没有GNOME代理设置)"_s);
  return nullptr;
}

SysProxyResult WithSessionBackend(const std::function<SysProxyResult(ProxyBackend&)>& change) {
  SysProxyResult failure;
  const std::unique_ptr<ProxyBackend> backend = SessionBackend(&failure);
  return backend ? change(*backend) : failure;
}

}  // namespace

SysProxyResult SetBrowserProxy(const QString& address) {
  // A refused address is reported the same on every desktop.
  ProxyAddress checked;
  SysProxyResult parsed = ParseProxyAddress(address, &checked);
  if (!parsed.ok) return parsed;
  return WithSessionBackend([&](ProxyBackend& backend) { return backend.SetAddress(checked); });
}

SysProxyResult EnableBrowserProxy() {
  return WithSessionBackend([](ProxyBackend& backend) { return backend.SwitchOn(true); });
}

SysProxyResult DisableBrowserProxy() {
  return WithSessionBackend([](ProxyBackend& backend) { return backend.SwitchOn(false); });
}

}  // namespace ph
