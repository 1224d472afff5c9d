#include "status/probe_results.h"

#include "validate/probe_tally.h"

namespace ph {

std::array<ProbeResultCount, 7> ProbeResults(const ProbeTally& tally) {
  using P = FailurePhase;
  return {{
      {"success", P::kNone, tally.Successes()},
      {"refused", P::kRefused, tally.Failures(P::kRefused)},
      {"connect_timeout", P::kConnectTimeout, tally.Failures(P::kConnectTimeout)},
      {"handshake", P::kHandshake, tally.Failures(P::kHandshake)},
      {"no_answer", P::kNoAnswer, tally.Failures(P::kNoAnswer)},
      {"wrong_answer", P::kWrongAnswer, tally.Failures(P::kWrongAnswer)},
      {"other", P::kOther, tally.Failures(P::kOther) + tally.Failures(P::kNone)},
  }};
}

}  // namespace ph
