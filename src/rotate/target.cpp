#include "rotate/target.h"

#include <arpa/inet.h>

#include <charconv>

namespace ph {
namespace {

std::optional<uint16_t> ReadPort(std::string_view text) {
  unsigned value = 0;
  if (text.empty() || text.size() > 5) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
    return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool ReadIp(int family, std::string_view text, Target& target) {
  char literal[64];
  if (text.empty() || text.size() >= sizeof(literal)) return false;
  text.copy(literal, text.size());
  literal[text.size()] = '\0';
  return inet_pton(family, literal, target.ip.data()) == 1;
}

}  // namespace

bool PlainHostName(std::string_view name) {
  if (name.empty() || name.size() > kMostNameBytes) return false;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) return false;
  }
  return true;
}

std::string HostText(const Target& target) {
  char text[INET6_ADDRSTRLEN + 2] = {};
  switch (target.kind) {
    case Target::Kind::kIpv4:
      inet_ntop(AF_INET, target.ip.data(), text, sizeof(text));
      return text;
    case Target::Kind::kIpv6:
      inet_ntop(AF_INET6, target.ip.data(), text + 1, sizeof(text) - 2);
      return "[" + std::string(text + 1) + "]";
    case Target::Kind::kName:
      break;
  }
  return target.name;
}

std::string AuthorityText(const Target& target) {
  return HostText(target) + ":" + std::to_string(target.port);
}

std::optional<Target> ReadAuthority(std::string_view text, uint16_t default_port) {
  Target target;
  std::string_view host = text;
  std::string_view port;
  bool has_port = false;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      has_port = true;
    }
    if (!ReadIp(AF_INET6, host, target)) return std::nullopt;
    target.kind = Target::Kind::kIpv6;
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
      has_port = true;
    }
    if (ReadIp(AF_INET, host, target)) {
      target.kind = Target::Kind::kIpv4;
    } else if (PlainHostName(host)) {
      target.name = std::string(host);
    } else {
      return std::nullopt;
    }
  }
  if (has_port) {
    const std::optional<uint16_t> number = ReadPort(port);
    if (!number) return std::nullopt;
    target.port = *number;
  } else {
    if (default_port == 0) return std::nullopt;
    target.port = default_port;
  }
  return target;
}

std::optional<Target> NameTarget(std::string_view name, uint16_t port) {
  if (!PlainHostName(name) || port == 0) return std::nullopt;
  Target target;
  target.port = port;
  if (ReadIp(AF_INET, name, target)) {
    target.kind = Target::Kind::kIpv4;
  } else {
    target.name = std::string(name);
  }
  return target;
}

}  // namespace ph
