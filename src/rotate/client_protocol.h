#pragma once

#include <cstdint>

namespace ph {

enum class ClientProtocol : uint8_t { kHttp, kSocks4, kSocks5, kUnknown };

// The protocol a client speaks, told by its first byte: 5 and 4 open SOCKS5 greetings and
// SOCKS4 requests, an upper-case letter (or the empty line some clients send first) an HTTP
// request. Anything else (a TLS hello sent to the wrong port) is none of them.
inline ClientProtocol ClientProtocolOf(char first) {
  if (first == 5) return ClientProtocol::kSocks5;
  if (first == 4) return ClientProtocol::kSocks4;
  if ((first >= 'A' && first <= 'Z') || first == '\r' || first == '\n')
    return ClientProtocol::kHttp;
  return ClientProtocol::kUnknown;
}

}  // namespace ph
