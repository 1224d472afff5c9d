#include "rotate/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>  // splice
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ph {
namespace {

IoResult Outcome(ssize_t count) {
  if (count > 0) return {Io::kMoved, static_cast<std::size_t>(count), 0};
  if (count == 0) return {Io::kEnd, 0, 0};
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {Io::kWouldBlock, 0, 0};
  return {Io::kError, 0, errno};
}

}  // namespace

IoResult ReadSome(int fd, char* data, std::size_t size) { return Outcome(::read(fd, data, size)); }

IoResult SendSome(int fd, const char* data, std::size_t size) {
  const ssize_t count = ::send(fd, data, size, MSG_NOSIGNAL);
  // A send of zero bytes is no end of anything.
  if (count == 0) return {Io::kWouldBlock, 0, 0};
  return Outcome(count);
}

IoResult ReadFrom(Endpoint& end, char* data, std::size_t size) {
  const IoResult result = ReadSome(end.fd, data, size);
  if (result.status == Io::kWouldBlock ||
      (result.status == Io::kMoved && result.bytes < size && !end.peer_closed))
    end.readable = false;
  return result;
}

IoResult SendTo(Endpoint& end, const char* data, std::size_t size) {
  const IoResult result = SendSome(end.fd, data, size);
  if (result.status == Io::kWouldBlock || (result.status == Io::kMoved && result.bytes < size))
    end.writable = false;
  return result;
}

IoResult SpliceSome(int from, int to, std::size_t size) {
  return Outcome(::splice(from, nullptr, to, nullptr, size, SPLICE_F_MOVE | SPLICE_F_NONBLOCK));
}

int StartConnect(uint32_t ip, uint16_t port, int& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  SetNoDelay(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(ip);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    error = 0;
    return fd;
  }
  error = errno;
  if (error == EINPROGRESS) return fd;
  ::close(fd);
  return -1;
}

int ConnectOutcome(int fd) {
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

int ListenOn(const std::string& address, uint16_t port, int& error) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof(sockaddr_in6);
  } else {
    error = EINVAL;
    return -1;
  }
  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
      ::listen(fd, SOMAXCONN) != 0) {
    error = errno;
    ::close(fd);
    return -1;
  }
  error = 0;
  return fd;
}

void SetNoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

std::string ErrorText(int error) {
  char text[256] = {};
  return strerror_r(error, text, sizeof(text));
}

}  // namespace ph
