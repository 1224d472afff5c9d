#include "rotate/rotating_proxy.h"

#include "rotate/relay_loop.h"
#include "rotate/socket_io.h"
#include "rotate/steady_clock.h"

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <pthread.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>

namespace ph {
namespace {

// Descriptors left for everything else in the process.
constexpr rlim_t kReservedFiles = 256;
// A connection holds its client's and its upstream's socket, and a pipe or two while bytes
// wait in one.
constexpr rlim_t kFilesPerConnection = 3;

int ConnectionLimit(const RotateOptions& options) {
  if (options.max_connections > 0) return std::min(options.max_connections, kMostConnections);
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
  }
  const rlim_t room = files.rlim_cur > kReservedFiles ? files.rlim_cur - kReservedFiles : 0;
  return static_cast<int>(std::clamp<rlim_t>(room / kFilesPerConnection, 16, kMostConnections));
}

uint16_t BoundPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
}

// A relay thread's life. A write to a socket whose peer went away raises SIGPIPE (splice
// cannot be told not to); blocked here, it stays pending on this thread and harms nobody.
void RelayThread(RelayLoop& loop) {
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  pthread_setname_np(pthread_self(), "ph-rotate");
  loop.Run();
}

}  // namespace

RotatingProxy::RotatingProxy() = default;

RotatingProxy::~RotatingProxy() { Stop(); }

std::optional<RotateFailure> RotatingProxy::Start(const RotateOptions& options) {
  std::lock_guard lock(control_);
  StopLocked();
  int error = 0;
  const int fd = ListenOn(options.bind_address, options.port, error);
  if (fd < 0) return RotateFailure{options.port, error, ErrorText(error)};
  selector_.Configure(options.strategy, options.breaker, options.session_ms);
  shared_ = std::unique_ptr<RelayShared>(
      new RelayShared{options, ConnectionLimit(options), selector_, counters_, faulted_, {}, {}});
  listen_fd_ = fd;
  const int thread_count =
      options.relay_threads > 0
          ? std::min(options.relay_threads, kMostRelayThreads)
          : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMostRelayThreads);
  for (int i = 0; i < thread_count; ++i) {
    loops_.push_back(std::make_unique<RelayLoop>(*shared_, i == 0 ? fd : -1));
    shared_->loops.push_back(loops_.back().get());
    if (const int loop_error = loops_.back()->Error(); loop_error != 0) {
      StopLocked();
      return RotateFailure{options.port, loop_error, ErrorText(loop_error)};
    }
  }
  try {
    for (const auto& loop : loops_) threads_.emplace_back(RelayThread, std::ref(*loop));
  } catch (const std::system_error& failure) {
    StopLocked();
    return RotateFailure{options.port, failure.code().value(), failure.what()};
  }
  port_.store(BoundPort(fd), std::memory_order_release);
  max_connections_.store(shared_->max_connections, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  return std::nullopt;
}

void RotatingProxy::Stop() {
  std::lock_guard lock(control_);
  StopLocked();
}

void RotatingProxy::StopLocked() {
  for (const auto& loop : loops_) loop->RequestStop();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  loops_.clear();
  shared_.reset();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
  running_.store(false, std::memory_order_release);
}

void RotatingProxy::SetPool(std::shared_ptr<const Pool> pool) {
  selector_.SetPool(std::move(pool));
}

std::shared_ptr<const Pool> RotatingProxy::CurrentPool() const { return selector_.CurrentPool(); }

RotateCounters RotatingProxy::Counters() const { return counters_.Snapshot(); }

std::vector<RowId> RotatingProxy::TakeFaultedRows() { return faulted_.Take(); }

bool RotatingProxy::BreakerOpen(RowId row) const {
  return selector_.BreakerOpen(row, SteadyNowMs());
}

}  // namespace ph
