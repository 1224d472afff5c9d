#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace ph {

// The anonymity judge of one validation run, shared by its workers: a page that echoes the
// request's headers and the address it came from. It is asked once without a proxy for the
// machine's own address, then once through every proxy that passed its test.
class AnonymityJudge {
 public:
  explicit AnonymityJudge(QString url) : url_(std::move(url)) {}

  // The level of the proxy the handle is set up for, or "" when the judge cannot tell. The
  // first call asks the judge directly, and the calls meanwhile wait for that answer.
  // Any worker thread; same time-out rules as the probe's requests.
  std::string LevelThrough(CURL* proxied, long timeout_ms, const std::atomic<bool>* keep_going);

  // True once, after the direct answer brought no address: for one status text.
  bool TakeFailureNotice();

 private:
  struct Baseline {
    uint32_t own_address;
    QByteArray direct_answer;
  };
  const Baseline* AskDirectly(long timeout_ms, const std::atomic<bool>* keep_going);

  const QString url_;
  std::mutex mutex_;
  bool asked_ = false;  // under mutex_; baseline_ never changes once it is set
  std::optional<Baseline> baseline_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> noticed_{false};
};

}  // namespace ph
