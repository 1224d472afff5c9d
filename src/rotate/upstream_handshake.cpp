#include "rotate/upstream_handshake.h"

#include "rotate/http_message.h"
#include "rotate/socks_messages.h"

namespace ph {
namespace {

// An HTTP proxy that answers CONNECT with one of these reached the target's host no
// better than we would have: tinyproxy says 500 "Unable to connect", Squid 503, others
// 502 or 504.
bool TargetStatus(int status) { return status == 500 || (status >= 502 && status <= 504); }

// SOCKS5 codes that speak of the target's network, not of the proxy.
bool TargetSocks5Code(uint8_t code) {
  return code == kSocks5NetworkUnreachable || code == kSocks5HostUnreachable ||
         code == kSocks5ConnectionRefused || code == kSocks5TtlExpired;
}

}  // namespace

UpstreamHandshake::UpstreamHandshake(UpstreamProtocol protocol, const Target& target)
    : target_(target) {
  switch (protocol) {
    case UpstreamProtocol::kHttp: {
      const std::string authority = AuthorityText(target);
      output_ = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
      stage_ = Stage::kHttpConnect;
      break;
    }
    case UpstreamProtocol::kSocks5:
      output_ = {'\x05', '\x01', static_cast<char>(kSocks5NoAuth)};
      stage_ = Stage::kSocks5Method;
      break;
    case UpstreamProtocol::kSocks4:
      output_ = Socks4ConnectRequest(target);
      stage_ = output_.empty() ? Stage::kFailed : Stage::kSocks4Connect;
      if (output_.empty()) failure_ = FaultClass::kTarget;
      break;
  }
}

std::string UpstreamHandshake::TakeOutput() { return std::exchange(output_, {}); }

UpstreamHandshake::Result UpstreamHandshake::Fail(FaultClass failure) {
  stage_ = Stage::kFailed;
  failure_ = failure;
  return Result::kFailed;
}

UpstreamHandshake::Result UpstreamHandshake::Feed(std::string_view bytes, std::size_t& used) {
  used = 0;
  switch (stage_) {
    case Stage::kHttpConnect:
      return ReadHttpConnect(bytes, used);
    case Stage::kSocks5Method:
      return ReadSocks5Method(bytes, used);
    case Stage::kSocks5Connect:
      return ReadSocks5Connect(bytes, used);
    case Stage::kSocks4Connect:
      return ReadSocks4Connect(bytes, used);
    case Stage::kDone:
      return Result::kDone;
    case Stage::kFailed:
      break;
  }
  return Result::kFailed;
}

UpstreamHandshake::Result UpstreamHandshake::ReadHttpConnect(std::string_view bytes,
                                                             std::size_t& used) {
  const std::size_t length = HeadLength(bytes.substr(0, kMostHeadBytes));
  if (length == 0) {
    if (bytes.size() >= kMostHeadBytes) return Fail(FaultClass::kProxy);
    return Result::kNeedMore;
  }
  const std::optional<ResponseInfo> info = ParseResponseHead(bytes.substr(0, length), true);
  if (!info) return Fail(FaultClass::kProxy);
  used = length;
  if (info->status >= 200 && info->status < 300) {
    stage_ = Stage::kDone;
    return Result::kDone;
  }
  return Fail(TargetStatus(info->status) ? FaultClass::kTarget : FaultClass::kProxy);
}

UpstreamHandshake::Result UpstreamHandshake::ReadSocks5Method(std::string_view bytes,
                                                              std::size_t& used) {
  if (bytes.size() < 2) return Result::kNeedMore;
  if (bytes[0] != '\x05' || bytes[1] != static_cast<char>(kSocks5NoAuth))
    return Fail(FaultClass::kProxy);
  used = 2;
  output_ = Socks5ConnectRequest(target_);
  stage_ = Stage::kSocks5Connect;
  return Result::kNeedMore;
}

UpstreamHandshake::Result UpstreamHandshake::ReadSocks5Connect(std::string_view bytes,
                                                               std::size_t& used) {
  if (!bytes.empty() && bytes[0] != '\x05') return Fail(FaultClass::kProxy);
  // A refusal may come without a usable address; its code is all that counts.
  if (bytes.size() >= 2 && bytes[1] != '\x00') {
    socks5_code_ = static_cast<uint8_t>(bytes[1]);
    return Fail(TargetSocks5Code(socks5_code_) ? FaultClass::kTarget : FaultClass::kProxy);
  }
  const std::size_t length = Socks5MessageLength(bytes);
  if (length == std::string_view::npos) return Fail(FaultClass::kProxy);
  if (length == 0) return Result::kNeedMore;
  used = length;
  stage_ = Stage::kDone;
  return Result::kDone;
}

UpstreamHandshake::Result UpstreamHandshake::ReadSocks4Connect(std::string_view bytes,
                                                               std::size_t& used) {
  if (bytes.size() < 8) return Result::kNeedMore;
  if (bytes[0] != '\x00') return Fail(FaultClass::kProxy);
  // 0x5B "rejected or failed" is what servers answer when the target cannot be reached;
  // 0x5C and 0x5D concern identd, the proxy's own business.
  if (bytes[1] == '\x5B') return Fail(FaultClass::kTarget);
  if (bytes[1] != '\x5A') return Fail(FaultClass::kProxy);
  used = 8;
  stage_ = Stage::kDone;
  return Result::kDone;
}

}  // namespace ph
