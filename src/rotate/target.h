#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ph {

// Where a client wants to go, as it named it. Names are never resolved here: they travel to
// the upstream, which resolves them (as socks5h and SOCKS4a do).
struct Target {
  enum class Kind : uint8_t { kIpv4, kIpv6, kName };
  Kind kind = Kind::kName;
  std::array<uint8_t, 16> ip{};  // network order; an IPv4 address in the first four
  std::string name;
  uint16_t port = 0;
};

inline constexpr std::size_t kMostNameBytes = 255;

// A host name as it may travel in a request line or a SOCKS message: 1 to 255 letters,
// digits, "-", "_" and ".", so nothing a name carries can end a line or a field.
bool PlainHostName(std::string_view name);

// "1.2.3.4", "[::1]" or the name.
std::string HostText(const Target& target);
// HostText and ":port".
std::string AuthorityText(const Target& target);

// "host", "host:port", "[v6]" or "[v6]:port" as a URL's authority or a CONNECT line names
// it; default_port when no port is given (0: a port is required).
std::optional<Target> ReadAuthority(std::string_view text, uint16_t default_port);

// A name that arrived as a name (SOCKS5 domain, SOCKS4a); a dotted IPv4 address among them
// (curl's --socks4a sends one so) becomes the address, which a SOCKS4 upstream without 4a
// can reach too.
std::optional<Target> NameTarget(std::string_view name, uint16_t port);

}  // namespace ph
