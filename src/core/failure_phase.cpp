#include "core/failure_phase.h"

#include <array>

namespace ph {
namespace {

// UTF-8, as records are.
constexpr std::array<std::string_view, 7> kPhaseTexts{
    "", "连接被拒绝", "连接超时", "代理握手失败", "无应答", "应答不符", "请求失败"};

}  // namespace

std::string_view FailurePhaseText(FailurePhase phase) {
  return kPhaseTexts[static_cast<std::size_t>(phase)];
}

QString FailurePhaseName(FailurePhase phase) {
  const std::string_view text = FailurePhaseText(phase);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

FailurePhase PhaseOfError(std::string_view error) {
  for (std::size_t i = 1; i < kPhaseTexts.size(); ++i)
    if (error.starts_with(kPhaseTexts[i])) return static_cast<FailurePhase>(i);
  return FailurePhase::kNone;
}

}  // namespace ph
