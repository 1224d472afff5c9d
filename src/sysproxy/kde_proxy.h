#pragma once

#include "sysproxy/proxy_backend.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace ph {

// KDE Plasma's proxy settings: group [Proxy Settings] of kioslaverc.
class KdeProxy final : public ProxyBackend {
 public:
  // kioslaverc in config_dir; running KDE programs are told to re-read it when notify is set.
  KdeProxy(QString config_dir, bool notify);

  SysProxyResult SetAddress(const ProxyAddress& address) override;
  SysProxyResult SwitchOn(bool on) override;

  // $XDG_CONFIG_HOME, by default ~/.config.
  static QString SessionConfigDir();

 private:
  using Entries = std::vector<std::pair<QByteArray, QByteArray>>;
  SysProxyResult Write(const Entries& entries) const;

  QString config_dir_;
  bool notify_;
};

}  // namespace ph
