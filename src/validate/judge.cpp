#include "validate/judge.h"

#include "validate/anonymity.h"
#include "validate/probe.h"

namespace ph {

AnonymityJudge::AnonymityJudge(const QString& url) : url_(WireUrl(url)) {}

void AnonymityJudge::TakeDirectAnswer(const std::optional<QByteArray>& answer) {
  if (Answered()) return;
  const std::optional<uint32_t> own = answer ? OwnAddress(*answer) : std::nullopt;
  if (own) {
    baseline_ = Baseline{*own, *answer};
  } else {
    failed_ = true;
  }
  answered_.store(true, std::memory_order_release);
}

std::string AnonymityJudge::LevelFrom(const std::optional<QByteArray>& echo) const {
  if (!CanJudge() || !echo) return {};
  return AnonymityLevel(*echo, baseline_->own_address, baseline_->direct_answer);
}

bool AnonymityJudge::TakeFailureNotice() { return failed_ && !noticed_.exchange(true); }

}  // namespace ph
