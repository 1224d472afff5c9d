#pragma once

#include <QString>

#include <cstdint>
#include <string_view>

namespace ph {

// Where a probe of a proxy failed, as its result record's error text begins and as the
// result cell's tool tip shows it, so that a user sees why a list is dead.
enum class FailurePhase : uint8_t {
  kNone,
  kRefused,         // "连接被拒绝": nothing listens, or the way there is closed
  kConnectTimeout,  // "连接超时": no connection within the time-out
  kHandshake,  // "代理握手失败": connected, but the proxy refused or never finished its protocol
  kNoAnswer,     // "无应答": the request went out and no (whole) answer came back in time
  kWrongAnswer,  // "应答不符": an answer without the match text
  kOther,        // "请求失败": anything else
};

// Its text, UTF-8; empty for kNone.
std::string_view FailurePhaseText(FailurePhase phase);
QString FailurePhaseName(FailurePhase phase);
// The phase an error text begins with; kNone for one that names none.
FailurePhase PhaseOfError(std::string_view error);

}  // namespace ph
