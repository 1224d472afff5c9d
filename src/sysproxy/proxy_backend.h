#pragma once

#include "sysproxy/browser_proxy.h"

#include <QString>
#include <QStringView>

#include <utility>

namespace ph {

// A proxy address from the list, checked.
struct ProxyAddress {
  enum class Kind { Http, Socks };
  Kind kind = Kind::Http;
  QString host;  // dotted IPv4
  int port = 0;
};

// Accepts "ip:port", "socks4://ip:port" and "socks5://ip:port" with a dotted IPv4 address
// and a port 1-65535, nothing more; the list may hold whatever a web page put there.
SysProxyResult ParseProxyAddress(QStringView text, ProxyAddress* address);

inline SysProxyResult SysProxyFailure(QString reason) { return {false, std::move(reason)}; }

// Where one desktop keeps its proxy settings.
class ProxyBackend {
 public:
  virtual ~ProxyBackend() = default;
  // Sets the proxy of the address's kind and clears the other kind.
  virtual SysProxyResult SetAddress(const ProxyAddress& address) = 0;
  // Manual mode when on, no proxy when off.
  virtual SysProxyResult SwitchOn(bool on) = 0;
};

enum class Desktop { Kde, Gnome, None };

// KDE when XDG_CURRENT_DESKTOP names it; otherwise GNOME's settings, which many desktops
// share, when their schema is installed.
Desktop ChooseDesktop(const QString& xdg_current_desktop, bool gnome_schema_installed);

}  // namespace ph
