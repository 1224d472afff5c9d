#pragma once

#include "rotate/counters.h"
#include "rotate/target.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ph {

enum class BodyKind : uint8_t { kNone, kLength, kChunked, kUntilClose };

struct BodyFraming {
  BodyKind kind = BodyKind::kNone;
  uint64_t length = 0;  // kLength
};

// A head longer than this is refused; a client's or an upstream's alike.
inline constexpr std::size_t kMostHeadBytes = 16 * 1024;

// The length of the head at the start of bytes through its empty line (CR LF or a lone LF
// ends a line), 0 while it is incomplete.
std::size_t HeadLength(std::string_view bytes);

// "proxy", "target", "no-proxy", "client": the class as the failure header names it.
std::string_view FaultClassName(FaultClass fault);

// A request a client sends its proxy: "CONNECT host:port" or a request in absolute form.
struct ProxyRequest {
  bool connect = false;
  Target target;
  std::string method;
  std::string path;  // origin form, for an upstream that is the target itself
  bool has_credentials = false;
  std::string user;  // from Proxy-Authorization: Basic
  std::string password;
  BodyFraming body;
  bool keep_alive = false;
  std::string head;  // as it came
};

struct RequestParse {
  int error_status = 0;  // 0: parsed; otherwise the status to answer with
  std::string error_text;
  ProxyRequest request;
};

RequestParse ParseProxyRequest(std::string_view head);

// The head to send on: the absolute form for an HTTP proxy, the origin form (with a Host
// header) through a tunnel to the target. Our hop's own headers stay behind.
std::string UpstreamRequestHead(const ProxyRequest& request, bool origin_form);

struct ResponseInfo {
  int status = 0;
  bool http10 = false;
  BodyFraming body;
  bool keep_alive = false;  // the upstream keeps the connection and the body is framed
};

// An upstream's response head; head_request: the request was HEAD, so no body follows.
std::optional<ResponseInfo> ParseResponseHead(std::string_view head, bool head_request);

// A final response's head as the client gets it: the upstream's connection headers replaced
// by what this hop does (close after it, or keep the connection).
std::string ClientResponseHead(std::string_view head, const ResponseInfo& info, bool close);

// Our own answer; challenge adds the Proxy-Authenticate header a 407 needs.
std::string ErrorResponse(int status, std::string_view text, FaultClass fault = FaultClass::kNone,
                          bool challenge = false);

}  // namespace ph
