#pragma once

#include "rotate/counters.h"
#include "rotate/pool.h"
#include "rotate/target.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ph {

// What we say to an upstream before bytes can flow to the target: a CONNECT to an HTTP
// proxy, or the SOCKS5 (no authentication, names passed on as socks5h does) or SOCKS4/4a
// exchange. A forwarded request to an HTTP proxy needs none.
class UpstreamHandshake {
 public:
  enum class Result : uint8_t { kNeedMore, kDone, kFailed };

  UpstreamHandshake() = default;  // nothing to say: done at once
  UpstreamHandshake(UpstreamProtocol protocol, const Target& target);

  bool Done() const { return stage_ == Stage::kDone; }
  // The bytes to send now; empty while waiting for an answer.
  std::string TakeOutput();
  // Takes what the upstream sent; used: the bytes of its answers (the rest, once done,
  // belongs to the target).
  Result Feed(std::string_view bytes, std::size_t& used);
  // Why it failed: the proxy's fault, or the target's where the upstream says so.
  FaultClass Failure() const { return failure_; }
  // A SOCKS5 upstream's own reply code on failure, for a SOCKS5 client; 0 otherwise.
  uint8_t Socks5Code() const { return socks5_code_; }

 private:
  enum class Stage : uint8_t {
    kHttpConnect,
    kSocks5Method,
    kSocks5Connect,
    kSocks4Connect,
    kDone,
    kFailed,
  };
  Result Fail(FaultClass failure);
  Result ReadHttpConnect(std::string_view bytes, std::size_t& used);
  Result ReadSocks5Method(std::string_view bytes, std::size_t& used);
  Result ReadSocks5Connect(std::string_view bytes, std::size_t& used);
  Result ReadSocks4Connect(std::string_view bytes, std::size_t& used);

  Stage stage_ = Stage::kDone;
  Target target_;
  std::string output_;
  FaultClass failure_ = FaultClass::kNone;
  uint8_t socks5_code_ = 0;
};

}  // namespace ph
