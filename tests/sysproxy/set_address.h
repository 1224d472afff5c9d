#pragma once

#include "sysproxy/proxy_backend.h"

namespace ph::test {

// An address as the desktop switch hands it to a back end: checked first.
inline SysProxyResult SetAddress(ProxyBackend& backend, QStringView text) {
  ProxyAddress address;
  const SysProxyResult parsed = ParseProxyAddress(text, &address);
  return parsed.ok ? backend.SetAddress(address) : parsed;
}

}  // namespace ph::test
