// What clients and upstreams send the rotating port, read as a connection reads it: the
// first byte of a client's bytes tells its protocol, then its greeting, credentials,
// request or request heads and bodies follow; an upstream's answers to each handshake are
// fed in pieces, then its response heads and bodies. Whatever arrives, every reader ends,
// takes no more bytes than it was given and keeps nothing unbounded.
#include "rotate/body_framer.h"
#include "rotate/client_protocol.h"
#include "rotate/http_message.h"
#include "rotate/socks_messages.h"
#include "rotate/upstream_handshake.h"
#include "rotate/user_options.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace ph;

void Check(bool holds) {
  if (!holds) std::abort();
}

// A message read off the front of rest; false when it is incomplete or bad.
template <typename T>
bool Take(const Read<T>& read, std::string_view& rest) {
  if (read.status != ReadStatus::kDone) return false;
  Check(read.used <= rest.size());
  rest.remove_prefix(read.used);
  return true;
}

void HttpRequests(std::string_view rest) {
  while (!rest.empty()) {
    const std::size_t head = HeadLength(rest.substr(0, kMostHeadBytes));
    if (head == 0) return;
    const RequestParse parse = ParseProxyRequest(rest.substr(0, head));
    rest.remove_prefix(head);
    if (parse.error_status != 0) return;
    ReadUserOptions(parse.request.user);
    // Lines ended by a lone LF come out ended by CR LF, and a Host field may be added.
    Check(UpstreamRequestHead(parse.request, true).size() <= 2 * head + 2 * kMostNameBytes);
    UpstreamRequestHead(parse.request, false);
    BodyFramer body(parse.request.body);
    const std::size_t used = body.Consume(rest);
    Check(used <= rest.size());
    if (!body.Done()) return;
    rest.remove_prefix(used);
  }
}

void ClientBytes(std::string_view rest) {
  switch (ClientProtocolOf(rest.front())) {
    case ClientProtocol::kSocks5: {
      const Read<Socks5Greeting> greeting = ReadSocks5Greeting(rest);
      if (!Take(greeting, rest)) return;
      if (greeting.value.user_password) {
        const Read<Credentials> credentials = ReadSocks5Credentials(rest);
        if (!Take(credentials, rest)) return;
        ReadUserOptions(credentials.value.user);
      }
      const Read<SocksRequest> request = ReadSocks5Request(rest);
      if (Take(request, rest) && !request.value.bad_address) AuthorityText(request.value.target);
      return;
    }
    case ClientProtocol::kSocks4: {
      const Read<SocksRequest> request = ReadSocks4Request(rest);
      if (!Take(request, rest)) return;
      ReadUserOptions(request.value.user);
      if (!request.value.bad_address) Socks4ConnectRequest(request.value.target);
      return;
    }
    case ClientProtocol::kHttp:
      return HttpRequests(rest);
    case ClientProtocol::kUnknown:
      return;
  }
}

void UpstreamAnswers(UpstreamProtocol protocol, std::size_t piece, std::string_view rest) {
  UpstreamHandshake handshake(protocol, *ReadAuthority("example.test:443", 0));
  std::string pending;
  while (!handshake.Done()) {
    handshake.TakeOutput();
    if (rest.empty()) return;
    const std::size_t take = std::min(piece, rest.size());
    pending.append(rest.substr(0, take));
    rest.remove_prefix(take);
    std::size_t used = 0;
    const UpstreamHandshake::Result result = handshake.Feed(pending, used);
    Check(used <= pending.size());
    pending.erase(0, used);
    if (result == UpstreamHandshake::Result::kFailed) return;
    Check(pending.size() <= kMostHeadBytes + 1024);
  }
  // What follows is an answer to a forwarded request.
  const std::string joined = pending + std::string(rest);
  const std::string_view answer(joined);
  const std::size_t head = HeadLength(answer.substr(0, kMostHeadBytes));
  if (head == 0) return;
  const std::optional<ResponseInfo> info = ParseResponseHead(answer.substr(0, head), false);
  if (!info) return;
  ClientResponseHead(answer.substr(0, head), *info, piece % 2 == 0);
  BodyFramer body(info->body);
  Check(body.Consume(answer.substr(head)) <= answer.size() - head);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  // The first byte picks the side: a client, or an upstream of one of three protocols
  // whose answers arrive in pieces of a size it also gives.
  switch (data[0] % 4) {
    case 0:
      ClientBytes(rest);
      break;
    case 1:
      UpstreamAnswers(UpstreamProtocol::kHttp, 1 + data[0] / 4, rest);
      break;
    case 2:
      UpstreamAnswers(UpstreamProtocol::kSocks5, 1 + data[0] / 4, rest);
      break;
    default:
      UpstreamAnswers(UpstreamProtocol::kSocks4, 1 + data[0] / 4, rest);
      break;
  }
  return 0;
}
