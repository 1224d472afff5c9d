#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

namespace ph::test {
namespace {

sockaddr_in LoopbackAddress(uint16_t port, const std::string& host = "127.0.0.1") {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
    throw std::runtime_error("not an IPv4 address: " + host);
  return address;
}

int ListenOnFreePort(uint16_t& port, const std::string& host = "127.0.0.1") {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in address = LoopbackAddress(0, host);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 512) != 0) {
    close(fd);
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t length = sizeof(address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

LoopbackServer::LoopbackServer(Handler handler, std::string host)
    : handler_(std::move(handler)), host_(std::move(host)) {
  listen_fd_ = ListenOnFreePort(port_, host_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  acceptor_.join();
  close(listen_fd_);
  {
    std::lock_guard lock(mutex_);
    for (const int fd : open_fds_) shutdown(fd, SHUT_RDWR);  // wakes handlers that wait
  }
  for (std::thread& worker : workers_) worker.join();
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    pollfd waiting{listen_fd_, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    ++connections_;
    std::lock_guard lock(mutex_);
    open_fds_.push_back(fd);
    workers_.emplace_back([this, fd] {
      handler_(fd);
      std::lock_guard inner(mutex_);
      open_fds_.erase(std::remove(open_fds_.begin(), open_fds_.end(), fd), open_fds_.end());
      close(fd);
    });
  }
}

namespace {

// The lowest port the kernel gives outgoing connections.
int EphemeralLow() {
  std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
  int low = 32768;
  range >> low;
  return low;
}

bool CanBind(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = LoopbackAddress(port);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return bound;
}

}  // namespace

uint16_t ClosedPort() {
  // Below the ports outgoing connections take, so that none takes it before a server is
  // started on it (or a database restarted on it) while other tests connect away.
  constexpr int kLowest = 10000;
  const int below = EphemeralLow();
  thread_local std::mt19937 random(std::random_device{}());
  for (int attempt = 0; below > kLowest + 1000 && attempt < 50; ++attempt) {
    const auto port =
        static_cast<uint16_t>(std::uniform_int_distribution<int>(kLowest, below - 1)(random));
    if (CanBind(port)) return port;
  }
  uint16_t port = 0;
  const int fd = ListenOnFreePort(port);
  close(fd);
  return port;
}

std::string ReadHead(int fd, int timeout_ms) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, timeout_ms) <= 0) break;
    const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    head.append(buffer, static_cast<std::size_t>(got));
  }
  return head;
}

bool WriteAll(int fd, std::string_view data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool OnlyLoopbackIsUp() {
  std::string names;  // each after a blank
  ifaddrs* first = nullptr;
  if (getifaddrs(&first) != 0) names = " (getifaddrs failed)";
  for (const ifaddrs* i = first; i != nullptr; i = i->ifa_next) {
    if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const std::string name = std::string(" ") + i->ifa_name;
    if ((names + " ").find(name + " ") == std::string::npos) names += name;
  }
  if (first != nullptr) freeifaddrs(first);
  if (names.empty()) return true;
  std::fprintf(stderr,
               "Network interfaces other than loopback are up:%s\nRun this in a network "
               "namespace with only loopback, as scripts/test does:\n"
               "  unshare -n sh -c 'ip link set lo up; ...'\n",
               names.c_str());
  return false;
}

int ConnectLoopback(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace ph::test
