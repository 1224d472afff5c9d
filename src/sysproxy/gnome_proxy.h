#pragma once

#include "sysproxy/proxy_backend.h"

#include <QString>

namespace ph {

// Where GNOME's proxy settings are read and written; empty members mean the session's own.
struct GnomeStore {
  QString schema_dir;  // a directory holding gschemas.compiled
  QString keyfile;     // a GLib key file in place of the session's settings back end
};

// org.gnome.system.proxy through GSettings, used by GNOME and the desktops built on it.
class GnomeProxy final : public ProxyBackend {
 public:
  explicit GnomeProxy(GnomeStore store = {});

  SysProxyResult SetAddress(const ProxyAddress& address) override;
  SysProxyResult SwitchOn(bool on) override;

 private:
  GnomeStore store_;
};

// Whether the session's GSettings know org.gnome.system.proxy.
bool GnomeSchemaInstalled();

}  // namespace ph
