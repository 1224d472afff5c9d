#pragma once

#include "support/loopback_server.h"

#include <QCoreApplication>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace ph::bench {

using Clock = std::chrono::steady_clock;

// One request on a fresh connection; true when an answer came before the close.
inline bool AskOnce(uint16_t port) {
  const int fd = test::ConnectLoopback(port);
  if (fd < 0) return false;
  test::WriteAll(fd, "GET /api.zx?UseKey&getcount& HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  char buffer[512];
  std::size_t got = 0;
  for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;)
    got += static_cast<std::size_t>(n);
  close(fd);
  return got > 0;
}

// Clients on threads of their own, each asking again as soon as its answer is in.
class Hammer {
 public:
  Hammer(uint16_t port, int clients) {
    for (int i = 0; i < clients; ++i) {
      ++running_;
      threads_.emplace_back([this, port] {
        while (!stop_) {
          const auto start = Clock::now();
          const bool answered = AskOnce(port);
          const auto took = std::chrono::duration<double, std::milli>(Clock::now() - start);
          std::lock_guard lock(mutex_);
          if (answered) latencies_ms_.push_back(took.count());
        }
        --running_;
      });
    }
  }
  ~Hammer() { Stop(); }
  // The API answers on this thread: its events run until the last client has its answer.
  void Stop() {
    stop_ = true;
    while (running_ > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }
  std::vector<double> Latencies() {
    std::lock_guard lock(mutex_);
    return latencies_ms_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> running_{0};
  std::mutex mutex_;
  std::vector<double> latencies_ms_;
  std::vector<std::thread> threads_;
};

}  // namespace ph::bench
