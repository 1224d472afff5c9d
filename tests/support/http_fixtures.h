#pragma once

#include "support/loopback_server.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace ph::test {

struct Page {
  int status = 200;
  std::string body;
  std::string content_type = "text/html";
  int delay_ms = 0;  // wait before answering
};

std::string HttpResponse(const Page& page);
// "GET /path HTTP/1.1" -> "/path" (an absolute URI keeps its scheme and host).
std::string RequestTarget(const std::string& head);

// Serves pages by path; unknown paths get 404. Counts the requests it answered.
class PageServer {
 public:
  PageServer();
  void Set(const std::string& path, Page page);
  uint16_t Port() const { return server_->Port(); }
  std::string Url(const std::string& path) const;
  int Requests() const;
  std::string LastHead() const;

 private:
  void Handle(int fd);

  mutable std::mutex mutex_;
  std::map<std::string, Page> pages_;
  int requests_ = 0;
  std::string last_head_;
  std::unique_ptr<LoopbackServer> server_;
};

// A minimal forwarding HTTP proxy: absolute-URI requests (any method, the body relayed as it
// comes) and CONNECT. Whatever host a request names, it connects to that port on 127.0.0.1,
// so tests can use host names that carry the test targets' words.
class FakeProxy {
 public:
  FakeProxy();
  uint16_t Port() const { return server_->Port(); }
  std::string Address() const { return server_->Address(); }
  int Gets() const { return gets_; }  // forwarded requests, whatever their method
  int Connects() const { return connects_; }
  int Connections() const { return server_->Connections(); }
  // While refusing, every connection is closed at once without a word: a broken proxy.
  void SetRefusing(bool refusing) { refusing_ = refusing; }

 private:
  void Handle(int fd);

  std::atomic<int> gets_{0};
  std::atomic<int> connects_{0};
  std::atomic<bool> refusing_{false};
  std::unique_ptr<LoopbackServer> server_;
};

// An anonymity judge on its own loopback address, so that the Host header it echoes never
// holds the client's address: answers every request with the request's headers and the
// address it came from, as JSON in the shape of httpbin's /get.
class JudgeServer {
 public:
  explicit JudgeServer(const std::string& host = "127.0.0.9");
  std::string Url() const { return "http://" + server_->Address() + "/get"; }
  int Requests() const { return requests_; }

 private:
  std::atomic<int> requests_{0};
  std::unique_ptr<LoopbackServer> server_;
};

// Accepts connections and never answers; holds them until the test ends.
class SilentServer {
 public:
  SilentServer();
  uint16_t Port() const { return server_->Port(); }
  std::string Address() const { return server_->Address(); }

 private:
  std::unique_ptr<LoopbackServer> server_;
};

// Answers every request with a 200 head (and extra_headers, each ended by CR LF), then sends
// chunk after chunk, one every interval_ms, until the client goes away: a proxy that trickles
// its answer byte by byte, or a server whose body never ends.
class StreamServer {
 public:
  StreamServer(std::string chunk, int interval_ms, std::string extra_headers = {});
  uint16_t Port() const { return server_->Port(); }
  std::string Address() const { return server_->Address(); }
  // The bytes of the chunks the clients have taken so far.
  long long Sent() const { return sent_; }

 private:
  std::atomic<long long> sent_{0};
  std::unique_ptr<LoopbackServer> server_;
};

// An HTTPS origin with a freshly made self-signed certificate, answering every request with
// one page.
class TlsPageServer {
 public:
  explicit TlsPageServer(Page page);
  ~TlsPageServer();
  uint16_t Port() const { return server_->Port(); }
  // The certificate (for "localhost") in PEM, for a client that is to trust it.
  const std::string& CertificatePem() const { return certificate_pem_; }

 private:
  void Handle(int fd);

  Page page_;
  std::string certificate_pem_;
  struct Context;
  std::unique_ptr<Context> context_;
  std::unique_ptr<LoopbackServer> server_;
};

}  // namespace ph::test
