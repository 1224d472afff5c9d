#pragma once

#include <QString>

#include <optional>

namespace ph {

// An address to listen on and its port, as an option gives them.
struct ListenAddress {
  QString address;  // empty when only the port was given
  QString port;
};

// "PORT", "ADDRESS:PORT" or "[IPv6]:PORT"; nothing when the text is none of these (a bare
// IPv6 address with a port needs its brackets).
std::optional<ListenAddress> SplitListenAddress(const QString& text);

// True for an address that only this machine reaches: 127.0.0.0/8 and ::1.
bool IsLoopbackAddress(const QString& address);

}  // namespace ph
