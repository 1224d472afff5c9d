#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace ph {

// Values handed from one thread to another in order. The sender puts each in under a lock and,
// when the box was empty, pokes the receiver with a queued signal that carries nothing; the
// receiver takes them out under the same lock. The lock, not Qt's event queue, is what orders
// the two threads' memory, so ThreadSanitizer (which cannot see into an uninstrumented Qt)
// sees the hand-off as the happens-before it is.
template <typename T>
class Mailbox {
 public:
  Mailbox() = default;
  // The box may end on the thread that only put into it: what the other thread took last is
  // ordered before the end by the lock.
  ~Mailbox() {
    const std::lock_guard lock(mutex_);
    items_.clear();
  }
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;

  // True when the box was empty: the receiver is to be poked.
  bool Put(T value) {
    const std::lock_guard lock(mutex_);
    items_.push_back(std::move(value));
    return items_.size() == 1;
  }
  // The first value, if any; more tells whether others wait behind it.
  std::optional<T> Take(bool& more) {
    const std::lock_guard lock(mutex_);
    more = false;
    if (items_.empty()) return std::nullopt;
    T value = std::move(items_.front());
    items_.pop_front();
    more = !items_.empty();
    return value;
  }

 private:
  std::mutex mutex_;
  std::deque<T> items_;
};

}  // namespace ph
