#pragma once

#include "rotate/pool.h"
#include "rotate/rotate_options.h"
#include "rotate/rotating_proxy.h"
#include "support/http_fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ph::test {

// A client's view of the port: blocking sockets with time limits, so a stuck relay fails a
// test instead of hanging it.
int Connect(uint16_t port);
// Everything until the other side closes, or until timeout_ms without a byte.
std::string ReadToEnd(int fd, int timeout_ms = 5000);
// One HTTP response: its head and a body of Content-Length or chunked framing, as it came.
std::string ReadResponse(int fd, int timeout_ms = 5000);
// Exactly count bytes, or fewer when the connection ends or stays silent for timeout_ms.
std::string ReadExactly(int fd, std::size_t count, int timeout_ms = 5000);
// Whether the other side closed within timeout_ms (bytes meanwhile are dropped).
bool ClosedWithin(int fd, int timeout_ms);

// "Proxy-Authorization: Basic ..." for user:password, with its CR LF.
std::string ProxyAuthorization(const std::string& user, const std::string& password);

// A SOCKS5 client's handshake up to the CONNECT reply; the reply code, or -1 when the
// port refused earlier (no method, wrong password) or closed.
int Socks5Connect(int fd, const std::string& host, uint16_t port, const std::string& user = {},
                  const std::string& password = {});
// A SOCKS4 or SOCKS4a (host not an IPv4 address) CONNECT; the reply code (0x5A granted).
int Socks4Connect(int fd, const std::string& host, uint16_t port, const std::string& user = {});

// An upstream row for a pool: 127.0.0.1:port.
Upstream LoopbackUpstream(RowId row, uint16_t port,
                          UpstreamProtocol protocol = UpstreamProtocol::kHttp,
                          Anonymity anonymity = Anonymity::kElite, int elapsed_ms = 100,
                          const QString& region = QStringLiteral("北京 电信"));

// A running port with short time limits and an origin page at /page.
class RotateTest : public ::testing::Test {
 protected:
  RotateTest();
  ~RotateTest() override;

  static RotateOptions Options();
  void StartPort(const RotateOptions& options = Options());
  void SetPool(std::vector<Upstream> upstreams);
  // A GET of the origin's /page through the port on a fresh connection; the whole answer.
  std::string GetPage(const std::string& user = {}, const std::string& password = {});
  std::string PageUrl() const { return origin.Url("/page"); }

  PageServer origin;
  RotatingProxy proxy;
};

}  // namespace ph::test
