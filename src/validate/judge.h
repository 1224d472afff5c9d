#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace ph {

// The anonymity judge of one validation run: a page that echoes the request's headers and the
// address it came from. It is asked once without a proxy for the machine's own address, before
// the run's first probe, then once through every proxy that passed its test. The probe engine
// asks; this keeps what the direct answer told and judges the echoes. Engine threads write it
// once, before any proxy is judged; the window's thread only takes the failure notice.
class AnonymityJudge {
 public:
  explicit AnonymityJudge(const QString& url);

  const QByteArray& Url() const { return url_; }

  // True for the one caller that is to ask the judge directly.
  bool StartAsking() { return !asking_.exchange(true); }
  // The direct answer (nothing when the judge did not answer); once. Proxies are judged only
  // after it.
  void TakeDirectAnswer(const std::optional<QByteArray>& answer);
  bool Answered() const { return answered_.load(std::memory_order_acquire); }

  // True when the direct answer gave the machine's own address, so proxies can be judged.
  bool CanJudge() const { return Answered() && baseline_.has_value(); }
  // The level of a proxy from the judge's answer through it (nothing when it gave none), or
  // "" when that cannot tell.
  std::string LevelFrom(const std::optional<QByteArray>& echo) const;

  // True once, after the direct answer brought no address: for one status text.
  bool TakeFailureNotice();

 private:
  struct Baseline {
    uint32_t own_address;
    QByteArray direct_answer;
  };

  const QByteArray url_;
  std::atomic<bool> asking_{false};
  std::atomic<bool> answered_{false};
  std::optional<Baseline> baseline_;  // set before answered_, never after
  std::atomic<bool> failed_{false};
  std::atomic<bool> noticed_{false};
};

}  // namespace ph
