#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ph::test {

// Many fake proxies on loopback, served by one epoll thread so that it keeps up with
// thousands of probes per second. Every port answers each request with one page (at once or
// after a delay), or never answers at all; as an HTTP proxy, or as a SOCKS5 proxy that
// accepts the greeting and any CONNECT and then answers the HTTP request itself.
class ProxyFarm {
 public:
  struct Behaviour {
    std::string body;         // the page every request gets
    int delay_ms = 0;         // wait before answering
    bool silent = false;      // accept and never answer
    bool socks5 = false;      // SOCKS5 without authentication; addresses with "socks5://"
    bool keep_alive = false;  // the connection stays for the next request
  };

  ProxyFarm();
  ~ProxyFarm();
  ProxyFarm(const ProxyFarm&) = delete;
  ProxyFarm& operator=(const ProxyFarm&) = delete;

  // Adds count ports with the behaviour; returns their "127.0.0.1:port" addresses.
  // Call before Start.
  std::vector<std::string> Add(const Behaviour& behaviour, int count);
  // punctual: the farm's thread runs at real-time priority, so delayed answers leave on time
  // even when probes keep both cores busy. Only for farms that mostly wait, since a busy
  // real-time thread would starve everything else.
  void Start(bool punctual = false);

  int64_t Answered() const { return answered_; }
  // Connections the proxy took so far; proxies are numbered in the order Add made them.
  int64_t Accepted(std::size_t proxy) const { return accepted_[proxy]; }

 private:
  void Loop();

  struct Listener {
    int fd;
    int behaviour;
  };
  std::vector<Behaviour> behaviours_;
  std::vector<Listener> listeners_;
  int epoll_fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> answered_{0};
  std::unique_ptr<std::atomic<int64_t>[]> accepted_;  // one per listener, from Start
  std::thread loop_;
};

}  // namespace ph::test
