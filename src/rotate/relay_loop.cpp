#include "rotate/relay_loop.h"

#include "rotate/relay_connection.h"
#include "rotate/socket_io.h"
#include "rotate/steady_clock.h"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace ph {
namespace {

using Name = RotateCounterSet::Name;

// epoll's data of the loop's own descriptors; a connection's socket carries its slot, its
// side and the socket's generation.
constexpr uint64_t kListenTag = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kWakeTag = kListenTag - 1;

uint64_t SocketTag(uint32_t slot, bool upstream, uint32_t generation) {
  return uint64_t{slot} | (uint64_t{upstream} << 32) | (uint64_t{generation & 0x3FFFFFFF} << 33);
}

constexpr int kEventsPerTurn = 256;
// Connections taken from the listening socket in one turn, so a flood of new ones cannot
// starve those already relaying.
constexpr int kAcceptsPerTurn = 64;
// Out of descriptors: the listening socket rests this long instead of waking us at once.
constexpr int64_t kAcceptPauseMs = 100;

std::string ClientKey(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    return std::string(reinterpret_cast<const char*>(&v4.sin_addr), 4);
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  return std::string(reinterpret_cast<const char*>(&v6.sin6_addr), 16);
}

}  // namespace

RelayLoop::RelayLoop(RelayShared& shared, int listen_fd) : shared_(shared), listen_fd_(listen_fd) {
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (epoll_fd_ < 0 || wake_fd_ < 0) {
    error_ = errno;
    return;
  }
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.u64 = kWakeTag;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &wake) != 0) {
    error_ = errno;
    return;
  }
  if (listen_fd_ >= 0) {
    ResumeAccepting();
    if (accept_paused_until_ != 0) error_ = errno;
  }
  UpdateNow();
}

RelayLoop::~RelayLoop() {
  TakeHanded();
  for (auto& connection : slots_)
    if (connection && !connection->Finished()) connection->Abort();
  closed_.clear();
  slots_.clear();
  if (wake_fd_ >= 0) ::close(wake_fd_);
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

void RelayLoop::UpdateNow() { now_ms_ = SteadyNowMs(); }

void RelayLoop::Run() {
  while (!stopping_.load(std::memory_order_acquire)) Turn(NextTimeoutMs());
  TakeHanded();
  for (auto& connection : slots_)
    if (connection && !connection->Finished()) connection->Abort();
  FreeClosed();
}

void RelayLoop::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_fd_, &one, sizeof(one));
}

void RelayLoop::RequestStop() {
  stopping_.store(true, std::memory_order_release);
  Wake();
}

int RelayLoop::NextTimeoutMs() const {
  if (!resumed_.empty()) return 0;
  int64_t next = std::numeric_limits<int64_t>::max();
  if (!timers_.empty()) next = timers_.top().at;
  if (accept_paused_until_ != 0) next = std::min(next, accept_paused_until_);
  if (next == std::numeric_limits<int64_t>::max()) return -1;
  return static_cast<int>(std::clamp<int64_t>(next - now_ms_, 0, 60000));
}

void RelayLoop::Turn(int timeout_ms) {
  epoll_event events[kEventsPerTurn];
  const int count = epoll_wait(epoll_fd_, events, kEventsPerTurn, timeout_ms);
  UpdateNow();
  for (int i = 0; i < count; ++i) {
    const uint64_t tag = events[i].data.u64;
    if (tag == kWakeTag) {
      uint64_t value = 0;
      [[maybe_unused]] const ssize_t read = ::read(wake_fd_, &value, sizeof(value));
      TakeHanded();
      continue;
    }
    if (tag == kListenTag) {
      Accept();
      continue;
    }
    const auto slot = static_cast<uint32_t>(tag & 0xFFFFFFFF);
    RelayConnection* connection = slot < slots_.size() ? slots_[slot].get() : nullptr;
    if (connection == nullptr || connection->Finished()) continue;
    connection->OnEvent((tag >> 32) & 1, static_cast<uint32_t>(tag >> 33), events[i].events);
  }
  RunResumed();
  RunTimers();
  if (accept_paused_until_ != 0 && now_ms_ >= accept_paused_until_) ResumeAccepting();
  FreeClosed();
}

void RelayLoop::Accept() {
  for (int i = 0; i < kAcceptsPerTurn; ++i) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    const int fd = accept4(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        PauseAccepting();
      return;
    }
    if (shared_.open.load(std::memory_order_relaxed) >= shared_.max_connections) {
      // Closed at once rather than left in the backlog, where its client would wait.
      shared_.counters.Add(Name::kConnectionsRefused);
      ::close(fd);
      continue;
    }
    shared_.open.fetch_add(1, std::memory_order_relaxed);
    shared_.counters.Add(Name::kConnectionsOpen);
    shared_.counters.Add(Name::kConnectionsTotal);
    RelayLoop* owner = shared_.loops[next_loop_++ % shared_.loops.size()];
    if (owner == this) {
      Adopt(fd, ClientKey(address));
    } else {
      owner->Hand(fd, ClientKey(address));
    }
  }
}

void RelayLoop::Hand(int fd, std::string client_key) {
  {
    std::lock_guard lock(handed_mutex_);
    handed_.emplace_back(fd, std::move(client_key));
  }
  Wake();
}

void RelayLoop::TakeHanded() {
  std::vector<std::pair<int, std::string>> handed;
  {
    std::lock_guard lock(handed_mutex_);
    handed.swap(handed_);
  }
  for (auto& [fd, client_key] : handed) Adopt(fd, std::move(client_key));
}

void RelayLoop::Adopt(int fd, std::string client_key) {
  auto connection = std::make_unique<RelayConnection>(*this, fd, std::move(client_key));
  if (free_slots_.empty()) {
    connection->slot = static_cast<uint32_t>(slots_.size());
    slots_.push_back(nullptr);
  } else {
    connection->slot = free_slots_.back();
    free_slots_.pop_back();
  }
  connection->serial = next_serial_++;
  RelayConnection& placed = *(slots_[connection->slot] = std::move(connection));
  // A loop that is stopping (or cannot watch the socket) closes it at once.
  if (stopping_.load(std::memory_order_acquire) || !placed.Begin()) return placed.Abort();
  placed.Advance();
}

void RelayLoop::PauseAccepting() {
  epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, listen_fd_, nullptr);
  accept_paused_until_ = now_ms_ + kAcceptPauseMs;
}

void RelayLoop::ResumeAccepting() {
  epoll_event listen{};
  // Level-triggered: a connection left in the backlog wakes us again.
  listen.events = EPOLLIN;
  listen.data.u64 = kListenTag;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, listen_fd_, &listen) == 0) {
    accept_paused_until_ = 0;
  } else {
    accept_paused_until_ = now_ms_ + kAcceptPauseMs;
  }
}

bool RelayLoop::Watch(RelayConnection& connection, int fd, bool upstream, uint32_t generation) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  event.data.u64 = SocketTag(connection.slot, upstream, generation);
  return epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event) == 0;
}

void RelayLoop::Schedule(RelayConnection& connection, int64_t deadline) {
  if (deadline >= connection.scheduled) return;
  connection.scheduled = deadline;
  timers_.push(Timer{deadline, connection.slot, connection.serial});
}

void RelayLoop::Resume(RelayConnection& connection) {
  if (connection.queued) return;
  connection.queued = true;
  resumed_.push_back(&connection);
}

void RelayLoop::Closed(RelayConnection& connection) { closed_.push_back(&connection); }

void RelayLoop::RunResumed() {
  std::vector<RelayConnection*> now;
  now.swap(resumed_);
  for (RelayConnection* connection : now) {
    connection->queued = false;
    if (!connection->Finished()) connection->Advance();
  }
}

void RelayLoop::RunTimers() {
  while (!timers_.empty() && timers_.top().at <= now_ms_) {
    const Timer timer = timers_.top();
    timers_.pop();
    RelayConnection* connection = timer.slot < slots_.size() ? slots_[timer.slot].get() : nullptr;
    if (connection == nullptr || connection->serial != timer.serial || connection->Finished())
      continue;
    if (connection->scheduled == timer.at)
      connection->scheduled = std::numeric_limits<int64_t>::max();
    connection->OnTimer();
  }
}

void RelayLoop::FreeClosed() {
  if (closed_.empty()) return;
  std::erase_if(resumed_, [](RelayConnection* connection) { return connection->Finished(); });
  for (RelayConnection* connection : closed_) {
    const uint32_t slot = connection->slot;
    slots_[slot].reset();
    free_slots_.push_back(slot);
  }
  closed_.clear();
}

}  // namespace ph
