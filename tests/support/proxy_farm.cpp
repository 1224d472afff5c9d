#include "support/proxy_farm.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <queue>
#include <stdexcept>
#include <unordered_map>

namespace ph::test {
namespace {

using Clock = std::chrono::steady_clock;

// Listener fds are told apart from connections by a tag in the epoll data.
constexpr uint64_t kListenerTag = 1ULL << 40;

struct Connection {
  uint64_t serial = 0;  // tells a reused fd number from the connection that was due
  int behaviour = 0;
  std::string received;
  bool answered = false;
  int socks_step = 0;  // SOCKS5: 0 greeting, 1 request, 2 done
};

// Bytes of the SOCKS5 request at the start of received, 0 while it is incomplete:
// VER CMD RSV ATYP, the address (IPv4, a name with its length, or IPv6), the port.
std::size_t SocksRequestSize(const std::string& received) {
  if (received.size() < 5) return 0;
  const auto type = static_cast<unsigned char>(received[3]);
  const std::size_t address = type == 1   ? 4
                              : type == 3 ? 1 + static_cast<unsigned char>(received[4])
                                          : 16;
  const std::size_t size = 4 + address + 2;
  return received.size() >= size ? size : 0;
}

// Takes the greeting and the request off received and answers them; true once the HTTP
// request may follow.
bool SocksHandshake(int fd, Connection& connection) {
  std::string& received = connection.received;
  if (connection.socks_step == 0) {
    if (received.size() < 2) return false;
    const std::size_t greeting = 2 + static_cast<unsigned char>(received[1]);
    if (received.size() < greeting) return false;
    received.erase(0, greeting);
    send(fd, "\x05\x00", 2, MSG_NOSIGNAL);  // no authentication
    connection.socks_step = 1;
  }
  if (connection.socks_step == 1) {
    const std::size_t size = SocksRequestSize(received);
    if (size == 0) return false;
    received.erase(0, size);
    send(fd, "\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10, MSG_NOSIGNAL);  // granted
    connection.socks_step = 2;
  }
  return true;
}

struct Due {
  Clock::time_point when;
  int fd;
  uint64_t serial;
  bool operator>(const Due& other) const { return when > other.when; }
};

}  // namespace

ProxyFarm::ProxyFarm() : epoll_fd_(epoll_create1(EPOLL_CLOEXEC)) {}

ProxyFarm::~ProxyFarm() {
  stopping_ = true;
  if (loop_.joinable()) loop_.join();
  for (const Listener& listener : listeners_) close(listener.fd);
  close(epoll_fd_);
}

std::vector<std::string> ProxyFarm::Add(const Behaviour& behaviour, int count) {
  behaviours_.push_back(behaviour);
  const int index = static_cast<int>(behaviours_.size()) - 1;
  std::vector<std::string> addresses;
  for (int i = 0; i < count; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, 1024) != 0)
      throw std::runtime_error("farm listen failed");
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listeners_.push_back({fd, index});
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenerTag | (listeners_.size() - 1);
    epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event);
    addresses.push_back((behaviour.socks5 ? "socks5://127.0.0.1:" : "127.0.0.1:") +
                        std::to_string(ntohs(address.sin_port)));
  }
  return addresses;
}

void ProxyFarm::Start(bool punctual) {
  accepted_ = std::make_unique<std::atomic<int64_t>[]>(listeners_.size());
  loop_ = std::thread([this, punctual] {
    if (punctual) {
      // Remote proxies answer after their delay however busy the probing side keeps this
      // machine. Where real-time scheduling is not allowed the farm just runs.
      sched_param param{};
      param.sched_priority = 1;
      pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }
    Loop();
  });
}

void ProxyFarm::Loop() {
  std::unordered_map<int, Connection> connections;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> due;
  std::vector<std::string> responses;
  for (const Behaviour& b : behaviours_) {
    responses.push_back("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                        std::to_string(b.body.size()) + "\r\nConnection: " +
                        (b.keep_alive ? "keep-alive" : "close") + "\r\n\r\n" + b.body);
  }
  uint64_t next_serial = 1;
  auto answer = [&](int fd, uint64_t serial) {
    const auto found = connections.find(fd);
    if (found == connections.end() || found->second.serial != serial) return;
    Connection& connection = found->second;
    const auto behaviour = static_cast<std::size_t>(connection.behaviour);
    send(fd, responses[behaviour].data(), responses[behaviour].size(), MSG_NOSIGNAL);
    ++answered_;
    if (behaviours_[behaviour].keep_alive) {
      connection.received.erase(0, connection.received.find("\r\n\r\n") + 4);
      connection.answered = false;
      return;
    }
    epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    connections.erase(found);
  };

  std::vector<epoll_event> events(256);
  char buffer[8192];
  while (!stopping_) {
    int timeout_ms = 50;
    if (!due.empty()) {
      // Rounded up: a wait rounded down to 0 would spin until the answer is due.
      const auto wait =
          std::chrono::duration_cast<std::chrono::microseconds>(due.top().when - Clock::now());
      timeout_ms = static_cast<int>(std::clamp<long long>((wait.count() + 999) / 1000, 0, 50));
    }
    const int ready =
        epoll_wait(epoll_fd_, events.data(), static_cast<int>(events.size()), timeout_ms);
    for (int i = 0; i < ready; ++i) {
      const uint64_t data = events[static_cast<std::size_t>(i)].data.u64;
      if (data & kListenerTag) {
        const Listener& listener = listeners_[data & ~kListenerTag];
        while (true) {
          const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (fd < 0) break;
          ++accepted_[data & ~kListenerTag];
          connections[fd] = Connection{next_serial++, listener.behaviour, {}, false};
          epoll_event event{};
          event.events = EPOLLIN | EPOLLRDHUP;
          event.data.u64 = static_cast<uint64_t>(fd);
          epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event);
        }
        continue;
      }
      const int fd = static_cast<int>(data);
      const auto found = connections.find(fd);
      if (found == connections.end()) continue;
      Connection& connection = found->second;
      const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
      if (got <= 0) {
        epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
        close(fd);
        connections.erase(found);
        continue;
      }
      const Behaviour& behaviour = behaviours_[static_cast<std::size_t>(connection.behaviour)];
      if (behaviour.silent || connection.answered) continue;
      connection.received.append(buffer, static_cast<std::size_t>(got));
      if (behaviour.socks5 && !SocksHandshake(fd, connection)) continue;
      if (connection.received.find("\r\n\r\n") == std::string::npos) continue;
      connection.answered = true;
      if (behaviour.delay_ms <= 0) {
        answer(fd, connection.serial);
      } else {
        due.push(
            {Clock::now() + std::chrono::milliseconds(behaviour.delay_ms), fd, connection.serial});
      }
    }
    while (!due.empty() && due.top().when <= Clock::now()) {
      answer(due.top().fd, due.top().serial);
      due.pop();
    }
  }
  for (const auto& [fd, connection] : connections) close(fd);
}

}  // namespace ph::test
