#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ph::test {

// A TCP server on 127.0.0.1 (or another address of 127/8, all of which Linux routes to lo)
// and a free port, one thread per connection. The handler gets the connected socket; the
// server closes it when the handler returns.
class LoopbackServer {
 public:
  using Handler = std::function<void(int fd)>;

  explicit LoopbackServer(Handler handler, std::string host = "127.0.0.1");
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t Port() const { return port_; }
  std::string Address() const { return host_ + ":" + std::to_string(port_); }
  int Connections() const { return connections_; }

 private:
  void AcceptLoop();

  Handler handler_;
  std::string host_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<int> open_fds_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// A port on 127.0.0.1 where nothing listens: connections are refused.
uint16_t ClosedPort();

// True when loopback is the whole network, as in a network namespace of the tests' own;
// otherwise false, after a line on standard error that names the other interfaces up and
// says how to start the program. Tests and benchmarks run only where it holds: the program's
// defaults name public hosts, and one a test forgot to point at loopback must fail rather
// than reach another machine.
bool OnlyLoopbackIsUp();

// Socket helpers for handlers. Reads stop after timeout_ms without data.
std::string ReadHead(int fd, int timeout_ms = 5000);
bool WriteAll(int fd, std::string_view data);
int ConnectLoopback(uint16_t port);

}  // namespace ph::test
