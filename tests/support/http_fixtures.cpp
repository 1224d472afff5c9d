#include "support/http_fixtures.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace ph::test {
namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Copies bytes both ways until both sides are done; a side's end is passed to the other as
// the end of what it is sent.
void Relay(int a, int b) {
  char buffer[16384];
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  for (int sending = 2; sending > 0;) {
    if (poll(fds, 2, 10000) <= 0) return;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const int other = i == 0 ? b : a;
      const ssize_t got = recv(fds[i].fd, buffer, sizeof(buffer), 0);
      if (got < 0) return;
      if (got == 0) {
        shutdown(other, SHUT_WR);
        fds[i].fd = -1;  // poll passes it over from now on
        --sending;
        continue;
      }
      if (!WriteAll(other, std::string_view(buffer, static_cast<std::size_t>(got)))) return;
    }
  }
}

// "host:port" or "http://host:port/path" -> port (80 when none is given).
uint16_t PortOf(const std::string& authority) {
  const std::size_t colon = authority.rfind(':');
  if (colon == std::string::npos) return 80;
  return static_cast<uint16_t>(std::stoi(authority.substr(colon + 1)));
}

}  // namespace

std::string HttpResponse(const Page& page) {
  std::string reason = page.status == 200 ? "OK" : page.status == 404 ? "Not Found" : "Status";
  return "HTTP/1.1 " + std::to_string(page.status) + " " + reason +
         "\r\nContent-Type: " + page.content_type +
         "\r\nContent-Length: " + std::to_string(page.body.size()) +
         "\r\nConnection: close\r\n\r\n" + page.body;
}

std::string RequestTarget(const std::string& head) {
  const std::size_t first = head.find(' ');
  const std::size_t second = head.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos) return {};
  return head.substr(first + 1, second - first - 1);
}

PageServer::PageServer()
    : server_(std::make_unique<LoopbackServer>([this](int fd) { Handle(fd); })) {}

void PageServer::Set(const std::string& path, Page page) {
  std::lock_guard lock(mutex_);
  pages_[path] = std::move(page);
}

std::string PageServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

int PageServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::string PageServer::LastHead() const {
  std::lock_guard lock(mutex_);
  return last_head_;
}

void PageServer::Handle(int fd) {
  const std::string head = ReadHead(fd);
  if (head.empty()) return;
  Page page{404, "not found", "text/plain", 0};
  {
    std::lock_guard lock(mutex_);
    ++requests_;
    last_head_ = head;
    const auto found = pages_.find(RequestTarget(head));
    if (found != pages_.end()) page = found->second;
  }
  if (page.delay_ms > 0) Sleep(page.delay_ms);
  WriteAll(fd, HttpResponse(page));
}

StreamServer::StreamServer(std::string chunk, int interval_ms, std::string extra_headers)
    : server_(std::make_unique<LoopbackServer>([=, this](int fd) {
        if (ReadHead(fd).empty()) return;
        if (!WriteAll(fd,
                      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + extra_headers + "\r\n"))
          return;
        while (WriteAll(fd, chunk)) {
          sent_ += static_cast<long long>(chunk.size());
          if (interval_ms > 0) Sleep(interval_ms);
        }
      })) {}

FakeProxy::FakeProxy()
    : server_(std::make_unique<LoopbackServer>([this](int fd) { Handle(fd); })) {}

void FakeProxy::Handle(int fd) {
  if (refusing_) return;
  const std::string head = ReadHead(fd);
  const std::string target = RequestTarget(head);
  if (head.rfind("CONNECT ", 0) == 0) {
    ++connects_;
    const int upstream = ConnectLoopback(PortOf(target));
    if (upstream < 0) {
      WriteAll(fd, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    WriteAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n");
    Relay(fd, upstream);
    close(upstream);
    return;
  }
  const std::size_t method_end = head.find(' ');
  if (method_end == std::string::npos || target.rfind("http://", 0) != 0) {
    WriteAll(fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  ++gets_;
  const std::size_t host_start = 7;  // after "http://"
  const std::size_t path_start = target.find('/', host_start);
  const std::string authority = target.substr(host_start, path_start - host_start);
  const std::string path = path_start == std::string::npos ? "/" : target.substr(path_start);
  const int upstream = ConnectLoopback(PortOf(authority));
  if (upstream < 0) {
    WriteAll(fd, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  const std::size_t line_end = head.find("\r\n");
  WriteAll(upstream, head.substr(0, method_end) + " " + path + " HTTP/1.1" + head.substr(line_end));
  Relay(fd, upstream);
  close(upstream);
}

JudgeServer::JudgeServer(const std::string& host)
    : server_(std::make_unique<LoopbackServer>(
          [this](int fd) {
            const std::string head = ReadHead(fd);
            if (head.empty()) return;
            ++requests_;
            std::string headers;
            for (std::size_t line = head.find("\r\n"); line != std::string::npos;) {
              const std::size_t next = head.find("\r\n", line + 2);
              const std::string field = head.substr(line + 2, next - line - 2);
              const std::size_t colon = field.find(':');
              if (colon != std::string::npos) {
                std::string value = field.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                headers += (headers.empty() ? "\"" : ", \"") + field.substr(0, colon) + "\": \"" +
                           value + "\"";
              }
              line = next;
            }
            sockaddr_in peer{};
            socklen_t length = sizeof(peer);
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length);
            std::array<char, INET_ADDRSTRLEN> origin{};
            inet_ntop(AF_INET, &peer.sin_addr, origin.data(), origin.size());
            WriteAll(fd, HttpResponse({200,
                                       "{\"headers\": {" + headers + "}, \"origin\": \"" +
                                           origin.data() + "\"}",
                                       "application/json", 0}));
          },
          host)) {}

SilentServer::SilentServer()
    : server_(std::make_unique<LoopbackServer>([](int fd) {
        // Read whatever comes and never answer, until the client or the test goes away.
        char buffer[1024];
        while (recv(fd, buffer, sizeof(buffer), 0) > 0) {
        }
      })) {}

struct TlsPageServer::Context {
  SSL_CTX* ssl = nullptr;
  ~Context() { SSL_CTX_free(ssl); }
};

TlsPageServer::TlsPageServer(Page page) : page_(std::move(page)), context_(new Context) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509_sign(certificate, key, EVP_sha256());

  BIO* pem = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(pem, certificate);
  char* pem_bytes = nullptr;
  const long pem_length = BIO_ctrl(pem, BIO_CTRL_INFO, 0, &pem_bytes);
  certificate_pem_.assign(pem_bytes, static_cast<std::size_t>(pem_length));
  BIO_free(pem);

  context_->ssl = SSL_CTX_new(TLS_server_method());
  if (SSL_CTX_use_certificate(context_->ssl, certificate) != 1 ||
      SSL_CTX_use_PrivateKey(context_->ssl, key) != 1)
    throw std::runtime_error("TLS set-up failed");
  X509_free(certificate);
  EVP_PKEY_free(key);
  server_ = std::make_unique<LoopbackServer>([this](int fd) { Handle(fd); });
}

TlsPageServer::~TlsPageServer() { server_.reset(); }

void TlsPageServer::Handle(int fd) {
  SSL* ssl = SSL_new(context_->ssl);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) == 1) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const int got = SSL_read(ssl, buffer, sizeof(buffer));
      if (got <= 0) break;
      head.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string response = HttpResponse(page_);
    SSL_write(ssl, response.data(), static_cast<int>(response.size()));
    SSL_shutdown(ssl);
  }
  SSL_free(ssl);
}

}  // namespace ph::test
