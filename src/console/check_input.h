#pragma once

#include "core/proxy_list.h"

#include <QString>

#include <vector>

namespace ph {

// "check" reads at most this much text and this many addresses.
inline constexpr qint64 kMostCheckBytes = 64 * 1024 * 1024;
inline constexpr std::size_t kMostCheckAddresses = 1000000;

// The addresses to check, read as public lists are read: every "ip:port" and
// "scheme://ip:port" in any text, an address without a scheme an HTTP proxy, each address
// once, in the list's own spelling ("ip:port", "socks5://ip:port").
struct CheckInput {
  std::vector<QString> addresses;
  QString problem;  // the input could not be read: nothing is checked
  QString note;     // it was cut at a limit
};

// The addresses of the text.
CheckInput AddressesIn(QByteArrayView text, bool text_cut);

// The addresses of a file, or of standard input for "-". Ctrl-C while standard input is read
// ends the program at once with status 130: nothing has passed yet.
CheckInput ReadCheckInput(const QString& path);

}  // namespace ph
