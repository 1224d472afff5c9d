#include "validate/judge.h"

#include "validate/anonymity.h"
#include "validate/curl_fetch.h"
#include "validate/probe.h"

namespace ph {
namespace {

// A complete answer of the judge, or nothing.
std::optional<QByteArray> JudgeAnswer(CURL* handle, const QString& url, long timeout_ms,
                                      const std::atomic<bool>* keep_going) {
  const CurlResponse response = CurlGet(handle, url, timeout_ms, keep_going);
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (response.code != CURLE_OK || status < 200 || status > 299) return std::nullopt;
  return response.text.toUtf8();
}

}  // namespace

const AnonymityJudge::Baseline* AnonymityJudge::AskDirectly(long timeout_ms,
                                                            const std::atomic<bool>* keep_going) {
  std::lock_guard lock(mutex_);
  if (asked_) return baseline_ ? &*baseline_ : nullptr;
  CurlEasy handle(curl_easy_init());
  std::optional<QByteArray> answer;
  // No proxy at all, not even one from the environment; over IPv4, as proxies are reached.
  if (handle && SetUpProbeHandle(handle.get(), QString()) &&
      curl_easy_setopt(handle.get(), CURLOPT_PROXY, "") == CURLE_OK &&
      curl_easy_setopt(handle.get(), CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4) == CURLE_OK)
    answer = JudgeAnswer(handle.get(), url_, timeout_ms, keep_going);
  // A run stopped meanwhile asks no more; that is no failure of the judge.
  if (keep_going != nullptr && !*keep_going) return nullptr;
  asked_ = true;
  const std::optional<uint32_t> own = answer ? OwnAddress(*answer) : std::nullopt;
  if (own) {
    baseline_ = Baseline{*own, *std::move(answer)};
  } else {
    failed_ = true;
  }
  return baseline_ ? &*baseline_ : nullptr;
}

std::string AnonymityJudge::LevelThrough(CURL* proxied, long timeout_ms,
                                         const std::atomic<bool>* keep_going) {
  const Baseline* baseline = AskDirectly(timeout_ms, keep_going);
  if (baseline == nullptr) return {};
  const std::optional<QByteArray> echo = JudgeAnswer(proxied, url_, timeout_ms, keep_going);
  if (!echo) return {};
  return AnonymityLevel(*echo, baseline->own_address, baseline->direct_answer);
}

bool AnonymityJudge::TakeFailureNotice() { return failed_ && !noticed_.exchange(true); }

}  // namespace ph
