#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace ph {

// What one probe reads from the settings: an immutable snapshot, so worker threads never
// see a half-applied change.
struct ProbeSettings {
  bool test_http = false;      // TestHttp
  bool test_https = false;     // TestHttps
  int32_t timeout_ms = 0;      // TestTimeoutMs
  QString http_url;            // HttpTestUrl
  QString http_match_text;     // HttpMatchText
  QString https_url;           // HttpsTestUrl
  QString https_match_text;    // HttpsMatchText
};

// The place where the window's thread publishes the current snapshot and workers take it
// before each probe.
class ProbeSettingsSlot {
 public:
  std::shared_ptr<const ProbeSettings> Get() const {
    std::lock_guard lock(mutex_);
    return current_;
  }
  void Publish(std::shared_ptr<const ProbeSettings> settings) {
    std::lock_guard lock(mutex_);
    current_ = std::move(settings);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const ProbeSettings> current_ = std::make_shared<const ProbeSettings>();
};

}  // namespace ph
