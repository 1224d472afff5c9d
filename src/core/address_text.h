#pragma once

#include <QStringView>

namespace ph {

// An address as the list holds it: "ip:port" for an HTTP proxy, "socks4://ip:port" or
// "socks5://ip:port" for a SOCKS proxy; pasted or imported text may hold anything.
struct SchemeSplit {
  bool has_scheme = false;
  QStringView scheme;  // the text before the first "://"
  QStringView rest;    // the text after it, or the whole address without one
};
SchemeSplit SplitScheme(QStringView address);

// The host of an address with or without a scheme: the text before the first ":" that
// follows the scheme, so "socks5://1.2.3.4:1080" and "1.2.3.4:1080" both give "1.2.3.4".
// All of that text when it holds no ":".
QStringView AddressHost(QStringView address);

}  // namespace ph
