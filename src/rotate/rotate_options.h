#pragma once

#include <cstdint>
#include <string>

namespace ph {

// How a request's upstream is chosen when its user name names no session.
enum class Strategy : uint8_t {
  kRandom,
  kRoundRobin,
  kFastest,  // the smallest 耗时
  kSticky,   // one upstream per client address, as a session would keep it
};

// A proxy's breaker: after faults_to_open faults in a row it is left out for open_ms, then
// one trial connection decides; each failed trial doubles the time, up to max_open_ms.
struct BreakerOptions {
  int faults_to_open = 5;
  int open_ms = 30000;
  int max_open_ms = 300000;
};

struct RotateOptions {
  std::string bind_address = "127.0.0.1";  // an IPv4 or IPv6 literal
  uint16_t port = 8899;
  // Empty: no password, and user names carry only options. Compared with the bytes a client
  // sends, so a password outside ASCII must reach us in UTF-8.
  std::string password;
  Strategy strategy = Strategy::kRandom;
  // One try: connecting, the upstream's handshake and, for a forwarded request, the first
  // byte of its answer. All tries of a request share the deadline.
  int try_timeout_ms = 5000;
  int deadline_ms = 12000;
  int max_tries = 3;
  BreakerOptions breaker;
  int session_ms = 600000;  // how long a session keeps its upstream
  // A client must finish its greeting, handshake or first request head within this, and a
  // kept-alive connection its next head.
  int handshake_timeout_ms = 10000;
  int idle_timeout_ms = 300000;  // a relay with no byte either way is closed
  // 0: as many as the open-file limit leaves room for, at most kMostConnections.
  int max_connections = 0;
  // 0: one for each core, at most kMostRelayThreads.
  int relay_threads = 0;
  bool splice = true;  // move relayed bytes through kernel pipes instead of our buffers
};

inline constexpr int kMostConnections = 16384;
inline constexpr int kMostRelayThreads = 4;

}  // namespace ph
