#include "rotate_fixture.h"

#include "rotate/http_message.h"

#include <QByteArray>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

namespace ph::test {
namespace {

// The next bytes, waiting at most timeout_ms; empty at the end or after the wait.
std::string ReadSome(int fd, int timeout_ms, std::size_t most = 65536) {
  pollfd waiting{fd, POLLIN, 0};
  if (poll(&waiting, 1, timeout_ms) <= 0) return {};
  std::string bytes(most, '\0');
  const ssize_t got = recv(fd, bytes.data(), most, 0);
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

std::string Port(uint16_t port) {
  return {static_cast<char>(port >> 8), static_cast<char>(port & 0xFF)};
}

}  // namespace

int Connect(uint16_t port) { return ConnectLoopback(port); }

std::string ReadToEnd(int fd, int timeout_ms) {
  std::string all;
  for (std::string piece = ReadSome(fd, timeout_ms); !piece.empty();
       piece = ReadSome(fd, timeout_ms))
    all += piece;
  return all;
}

std::string ReadExactly(int fd, std::size_t count, int timeout_ms) {
  std::string all;
  while (all.size() < count) {
    const std::string piece = ReadSome(fd, timeout_ms, count - all.size());
    if (piece.empty()) break;
    all += piece;
  }
  return all;
}

std::string ReadResponse(int fd, int timeout_ms) {
  // Nothing follows a response until the next request is sent, so reading ahead is safe.
  std::string all;
  std::size_t head = 0;
  while ((head = HeadLength(all)) == 0) {
    const std::string piece = ReadSome(fd, timeout_ms);
    if (piece.empty()) return all;
    all += piece;
  }
  const std::optional<ResponseInfo> info = ParseResponseHead(all.substr(0, head), false);
  if (!info) return all;
  switch (info->body.kind) {
    case BodyKind::kLength:
      if (all.size() < head + info->body.length)
        all += ReadExactly(fd, head + info->body.length - all.size(), timeout_ms);
      return all;
    case BodyKind::kUntilClose:
      return all + ReadToEnd(fd, timeout_ms);
    case BodyKind::kChunked:
      while (!all.ends_with("\r\n0\r\n\r\n")) {
        const std::string piece = ReadSome(fd, timeout_ms);
        if (piece.empty()) break;
        all += piece;
      }
      return all;
    case BodyKind::kNone:
      break;
  }
  return all;
}

bool ClosedWithin(int fd, int timeout_ms) {
  char scrap[4096];
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) continue;
    const ssize_t got = recv(fd, scrap, sizeof(scrap), 0);
    if (got <= 0) return true;
  }
  return false;
}

std::string ProxyAuthorization(const std::string& user, const std::string& password) {
  return "Proxy-Authorization: Basic " +
         QByteArray::fromStdString(user + ":" + password).toBase64().toStdString() + "\r\n";
}

int Socks5Connect(int fd, const std::string& host, uint16_t port, const std::string& user,
                  const std::string& password) {
  const bool credentials = !user.empty() || !password.empty();
  WriteAll(fd, credentials ? std::string("\x05\x01\x02", 3) : std::string("\x05\x01\x00", 3));
  const std::string method = ReadExactly(fd, 2);
  if (method.size() != 2 || method[1] == '\xFF') return -1;
  if (method[1] == '\x02') {
    WriteAll(fd, std::string(1, '\x01') + static_cast<char>(user.size()) + user +
                     static_cast<char>(password.size()) + password);
    const std::string accepted = ReadExactly(fd, 2);
    if (accepted.size() != 2 || accepted[1] != '\0') return -1;
  }
  std::string request("\x05\x01\x00", 3);
  in_addr v4{};
  in6_addr v6{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    request += '\x01';
    request.append(reinterpret_cast<const char*>(&v4), 4);
  } else if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    request += '\x04';
    request.append(reinterpret_cast<const char*>(&v6), 16);
  } else {
    request += '\x03';
    request += static_cast<char>(host.size());
    request += host;
  }
  WriteAll(fd, request + Port(port));
  const std::string reply = ReadExactly(fd, 10);
  return reply.size() == 10 ? static_cast<unsigned char>(reply[1]) : -1;
}

int Socks4Connect(int fd, const std::string& host, uint16_t port, const std::string& user) {
  std::string request = "\x04\x01" + Port(port);
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    request.append(reinterpret_cast<const char*>(&v4), 4);
    request += user + '\0';
  } else {
    request += std::string("\0\0\0\x01", 4) + user + '\0' + host + '\0';
  }
  WriteAll(fd, request);
  const std::string reply = ReadExactly(fd, 8);
  return reply.size() == 8 ? static_cast<unsigned char>(reply[1]) : -1;
}

Upstream LoopbackUpstream(RowId row, uint16_t port, UpstreamProtocol protocol, Anonymity anonymity,
                          int elapsed_ms, const QString& region) {
  Upstream upstream;
  upstream.row = row;
  upstream.protocol = protocol;
  upstream.ip = 0x7F000001;
  upstream.port = port;
  upstream.elapsed_ms = elapsed_ms;
  upstream.anonymity = anonymity;
  upstream.region = region;
  return upstream;
}

RotateTest::RotateTest() { origin.Set("/page", {200, "the page", "text/plain", 0}); }

RotateTest::~RotateTest() { proxy.Stop(); }

RotateOptions RotateTest::Options() {
  RotateOptions options;
  options.port = 0;
  options.try_timeout_ms = 2000;
  options.deadline_ms = 5000;
  options.handshake_timeout_ms = 3000;
  options.idle_timeout_ms = 10000;
  options.strategy = Strategy::kRoundRobin;
  return options;
}

void RotateTest::StartPort(const RotateOptions& options) {
  const std::optional<RotateFailure> failure = proxy.Start(options);
  ASSERT_FALSE(failure) << failure->reason;
}

void RotateTest::SetPool(std::vector<Upstream> upstreams) {
  proxy.SetPool(std::make_shared<const Pool>(std::move(upstreams)));
}

std::string RotateTest::GetPage(const std::string& user, const std::string& password) {
  const int fd = Connect(proxy.Port());
  if (fd < 0) return {};
  std::string request =
      "GET " + PageUrl() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (!user.empty() || !password.empty()) request += ProxyAuthorization(user, password);
  WriteAll(fd, request + "\r\n");
  const std::string answer = ReadToEnd(fd);
  close(fd);
  return answer;
}

}  // namespace ph::test
