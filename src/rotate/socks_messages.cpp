#include "rotate/socks_messages.h"

namespace ph {
namespace {

uint8_t Byte(std::string_view bytes, std::size_t at) { return static_cast<uint8_t>(bytes[at]); }

uint16_t Port(std::string_view bytes, std::size_t at) {
  return static_cast<uint16_t>(Byte(bytes, at) << 8 | Byte(bytes, at + 1));
}

void AppendPort(std::string& out, uint16_t port) {
  out.push_back(static_cast<char>(port >> 8));
  out.push_back(static_cast<char>(port & 0xFF));
}

// A NUL-ended field of at most most bytes starting at at; npos while its end has not come,
// or when it is longer than allowed (then too_long).
std::size_t FieldEnd(std::string_view bytes, std::size_t at, std::size_t most, bool& too_long) {
  const std::size_t end = bytes.find('\0', at);
  too_long = (end == std::string_view::npos ? bytes.size() : end) - at > most;
  return end;
}

constexpr uint8_t kAtypIpv4 = 1;
constexpr uint8_t kAtypName = 3;
constexpr uint8_t kAtypIpv6 = 4;

}  // namespace

Read<Socks5Greeting> ReadSocks5Greeting(std::string_view bytes) {
  Read<Socks5Greeting> read;
  if (bytes.size() < 2) return read;
  if (Byte(bytes, 0) != 5 || Byte(bytes, 1) == 0) return {ReadStatus::kBad, 0, {}};
  const std::size_t count = Byte(bytes, 1);
  if (bytes.size() < 2 + count) return read;
  for (std::size_t i = 0; i < count; ++i) {
    read.value.no_auth = read.value.no_auth || Byte(bytes, 2 + i) == kSocks5NoAuth;
    read.value.user_password =
        read.value.user_password || Byte(bytes, 2 + i) == kSocks5UserPassword;
  }
  read.status = ReadStatus::kDone;
  read.used = 2 + count;
  return read;
}

Read<Credentials> ReadSocks5Credentials(std::string_view bytes) {
  Read<Credentials> read;
  if (bytes.size() < 2) return read;
  if (Byte(bytes, 0) != 1) return {ReadStatus::kBad, 0, {}};
  const std::size_t user_length = Byte(bytes, 1);
  if (bytes.size() < 3 + user_length) return read;
  const std::size_t password_length = Byte(bytes, 2 + user_length);
  const std::size_t total = 3 + user_length + password_length;
  if (bytes.size() < total) return read;
  read.value.user = std::string(bytes.substr(2, user_length));
  read.value.password = std::string(bytes.substr(3 + user_length, password_length));
  read.status = ReadStatus::kDone;
  read.used = total;
  return read;
}

std::size_t Socks5MessageLength(std::string_view bytes) {
  if (bytes.size() < 5) return 0;
  std::size_t address = 0;
  switch (Byte(bytes, 3)) {
    case kAtypIpv4:
      address = 4;
      break;
    case kAtypIpv6:
      address = 16;
      break;
    case kAtypName:
      address = 1 + Byte(bytes, 4);
      break;
    default:
      return std::string_view::npos;
  }
  const std::size_t total = 4 + address + 2;
  return bytes.size() < total ? 0 : total;
}

Read<SocksRequest> ReadSocks5Request(std::string_view bytes) {
  Read<SocksRequest> read;
  if (bytes.size() >= 1 && Byte(bytes, 0) != 5) return {ReadStatus::kBad, 0, {}};
  const std::size_t total = Socks5MessageLength(bytes);
  if (total == std::string_view::npos) {
    // A well-formed start with an address type we do not know: answered, then closed.
    read.status = ReadStatus::kDone;
    read.used = bytes.size();
    read.value.command = Byte(bytes, 1);
    read.value.bad_address = true;
    return read;
  }
  if (total == 0) return read;
  SocksRequest& request = read.value;
  request.command = Byte(bytes, 1);
  const uint16_t port = Port(bytes, total - 2);
  switch (Byte(bytes, 3)) {
    case kAtypIpv4:
      request.target.kind = Target::Kind::kIpv4;
      bytes.copy(reinterpret_cast<char*>(request.target.ip.data()), 4, 4);
      request.target.port = port;
      break;
    case kAtypIpv6:
      request.target.kind = Target::Kind::kIpv6;
      bytes.copy(reinterpret_cast<char*>(request.target.ip.data()), 16, 4);
      request.target.port = port;
      break;
    default: {
      const std::optional<Target> target = NameTarget(bytes.substr(5, Byte(bytes, 4)), port);
      request.bad_address = !target;
      if (target) request.target = *target;
      break;
    }
  }
  request.bad_address = request.bad_address || port == 0;
  read.status = ReadStatus::kDone;
  read.used = total;
  return read;
}

Read<SocksRequest> ReadSocks4Request(std::string_view bytes) {
  Read<SocksRequest> read;
  if (bytes.size() >= 1 && Byte(bytes, 0) != 4) return {ReadStatus::kBad, 0, {}};
  if (bytes.size() < 9) return read;
  bool too_long = false;
  const std::size_t user_end = FieldEnd(bytes, 8, kMostNameBytes, too_long);
  if (too_long) return {ReadStatus::kBad, 0, {}};
  if (user_end == std::string_view::npos) return read;
  SocksRequest& request = read.value;
  request.command = Byte(bytes, 1);
  request.user = std::string(bytes.substr(8, user_end - 8));
  const uint16_t port = Port(bytes, 2);
  const bool socks4a =
      Byte(bytes, 4) == 0 && Byte(bytes, 5) == 0 && Byte(bytes, 6) == 0 && Byte(bytes, 7) != 0;
  std::size_t total = user_end + 1;
  if (socks4a) {
    const std::size_t name_end = FieldEnd(bytes, total, kMostNameBytes, too_long);
    if (too_long) return {ReadStatus::kBad, 0, {}};
    if (name_end == std::string_view::npos) return read;
    const std::optional<Target> target = NameTarget(bytes.substr(total, name_end - total), port);
    request.bad_address = !target;
    if (target) request.target = *target;
    total = name_end + 1;
  } else {
    request.target.kind = Target::Kind::kIpv4;
    bytes.copy(reinterpret_cast<char*>(request.target.ip.data()), 4, 4);
    request.target.port = port;
    request.bad_address = port == 0;
  }
  read.status = ReadStatus::kDone;
  read.used = total;
  return read;
}

std::string Socks5MethodReply(uint8_t method) { return {'\x05', static_cast<char>(method)}; }

std::string Socks5AuthReply(bool accepted) { return {'\x01', accepted ? '\x00' : '\x01'}; }

std::string Socks5ConnectReply(uint8_t code) {
  return std::string{'\x05', static_cast<char>(code), '\x00', '\x01'} + std::string(6, '\0');
}

std::string Socks4Reply(bool granted) {
  return std::string{'\x00', granted ? '\x5A' : '\x5B'} + std::string(6, '\0');
}

std::string Socks5ConnectRequest(const Target& target) {
  std::string request{'\x05', '\x01', '\x00'};
  switch (target.kind) {
    case Target::Kind::kIpv4:
      request.push_back(static_cast<char>(kAtypIpv4));
      request.append(reinterpret_cast<const char*>(target.ip.data()), 4);
      break;
    case Target::Kind::kIpv6:
      request.push_back(static_cast<char>(kAtypIpv6));
      request.append(reinterpret_cast<const char*>(target.ip.data()), 16);
      break;
    case Target::Kind::kName:
      request.push_back(static_cast<char>(kAtypName));
      request.push_back(static_cast<char>(target.name.size()));
      request.append(target.name);
      break;
  }
  AppendPort(request, target.port);
  return request;
}

std::string Socks4ConnectRequest(const Target& target) {
  std::string request{'\x04', '\x01'};
  AppendPort(request, target.port);
  switch (target.kind) {
    case Target::Kind::kIpv4:
      request.append(reinterpret_cast<const char*>(target.ip.data()), 4);
      request.push_back('\0');
      return request;
    case Target::Kind::kName:
      request.append({'\0', '\0', '\0', '\x01', '\0'});
      request.append(target.name).push_back('\0');
      return request;
    case Target::Kind::kIpv6:
      break;
  }
  return {};
}

}  // namespace ph
