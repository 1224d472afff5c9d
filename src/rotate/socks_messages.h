#pragma once

#include "rotate/target.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ph {

// Reading what a SOCKS client sends, from the start of what has arrived.
enum class ReadStatus : uint8_t { kNeedMore, kBad, kDone };

template <typename T>
struct Read {
  ReadStatus status = ReadStatus::kNeedMore;
  std::size_t used = 0;  // bytes of the message, when done
  T value{};
};

inline constexpr uint8_t kSocks5NoAuth = 0x00;
inline constexpr uint8_t kSocks5UserPassword = 0x02;
inline constexpr uint8_t kSocks5NoMethod = 0xFF;

struct Socks5Greeting {
  bool no_auth = false;
  bool user_password = false;
};
Read<Socks5Greeting> ReadSocks5Greeting(std::string_view bytes);

struct Credentials {
  std::string user;
  std::string password;
};
// The user/password sub-negotiation (RFC 1929).
Read<Credentials> ReadSocks5Credentials(std::string_view bytes);

// SOCKS5 reply codes.
inline constexpr uint8_t kSocks5Succeeded = 0x00;
inline constexpr uint8_t kSocks5GeneralFailure = 0x01;
inline constexpr uint8_t kSocks5NetworkUnreachable = 0x03;
inline constexpr uint8_t kSocks5HostUnreachable = 0x04;
inline constexpr uint8_t kSocks5ConnectionRefused = 0x05;
inline constexpr uint8_t kSocks5TtlExpired = 0x06;
inline constexpr uint8_t kSocks5CommandNotSupported = 0x07;
inline constexpr uint8_t kSocks5AddressNotSupported = 0x08;

struct SocksRequest {
  uint8_t command = 0;  // 1: CONNECT
  Target target;
  std::string user;          // SOCKS4's user id
  bool bad_address = false;  // well formed, but the address cannot be used
};
Read<SocksRequest> ReadSocks5Request(std::string_view bytes);
// SOCKS4, and SOCKS4a when the address is 0.0.0.x (x not 0) and a name follows.
Read<SocksRequest> ReadSocks4Request(std::string_view bytes);

std::string Socks5MethodReply(uint8_t method);
std::string Socks5AuthReply(bool accepted);
// The bound address is not ours to tell; all zeroes, as many servers answer.
std::string Socks5ConnectReply(uint8_t code);
std::string Socks4Reply(bool granted);

// Building what an upstream SOCKS server is sent.
std::string Socks5ConnectRequest(const Target& target);
// SOCKS4 for an IPv4 target, SOCKS4a for a name; an IPv6 target gives an empty text.
std::string Socks4ConnectRequest(const Target& target);

// The length of a SOCKS5 reply (or request: same shape) at the start of bytes; 0 while
// incomplete, npos when its address type is unknown.
std::size_t Socks5MessageLength(std::string_view bytes);

}  // namespace ph
