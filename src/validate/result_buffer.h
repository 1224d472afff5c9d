#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace ph {

// Result records of a validation run, each followed by CR LF. Workers append, the window's
// thread takes everything at once; both under the one lock, so no record is lost or
// applied twice.
class ResultBuffer {
 public:
  void Append(std::string_view record) {
    std::lock_guard lock(mutex_);
    text_.append(record);
    text_.append("\r\n");
  }

  std::string Take() {
    std::string taken;
    taken.reserve(kReserveHint);
    std::lock_guard lock(mutex_);
    taken.swap(text_);
    return taken;
  }

  // True when at least one record (a line with "=") is waiting.
  bool HasRecords() const {
    std::lock_guard lock(mutex_);
    return text_.find('=') != std::string::npos;
  }

 private:
  static constexpr std::size_t kReserveHint = 4096;
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace ph
