#include "rotate/http_message.h"

#include <QByteArray>

#include <charconv>
#include <functional>

namespace ph {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Whether a comma-separated header value holds the token.
bool HasToken(std::string_view value, std::string_view token) {
  while (!value.empty()) {
    const std::size_t comma = value.find(',');
    if (SameText(Trimmed(value.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

// The lines of a head without their ends, the empty last one left out.
struct HeadLines {
  std::string_view rest;
  bool Next(std::string_view& line) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    rest.remove_prefix(end + 1);
    return !line.empty();
  }
};

struct Field {
  std::string_view name;
  std::string_view value;
};

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// A header line as a field; nullopt for a line that is none (folded, no colon, bad name).
std::optional<Field> ReadField(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
  const std::string_view name = line.substr(0, colon);
  for (const char c : name)
    if (!IsTokenChar(c)) return std::nullopt;
  return Field{name, Trimmed(line.substr(colon + 1))};
}

// Calls each field in turn; false when a line is not a field.
bool ForEachField(std::string_view fields, const std::function<void(const Field&)>& call) {
  HeadLines lines{fields};
  std::string_view line;
  while (lines.Next(line)) {
    const std::optional<Field> field = ReadField(line);
    if (!field) return false;
    call(*field);
  }
  return true;
}

std::optional<uint64_t> ReadLength(std::string_view text) {
  uint64_t value = 0;
  if (text.empty() || text.size() > 18) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// What the fields say about the body and the connection, shared by requests and responses.
struct Framing {
  bool bad = false;
  bool chunked = false;
  bool other_coding = false;
  std::optional<uint64_t> length;
  bool close = false;
  bool keep_alive = false;
  bool has_host = false;
  std::string_view authorization;
};

Framing ReadFraming(std::string_view fields) {
  Framing framing;
  const bool fields_ok = ForEachField(fields, [&](const Field& field) {
    if (SameText(field.name, "content-length")) {
      const std::optional<uint64_t> length = ReadLength(field.value);
      if (!length || (framing.length && *framing.length != *length)) framing.bad = true;
      framing.length = length;
    } else if (SameText(field.name, "transfer-encoding")) {
      // Chunked must come last; anything else can only be read to the end.
      const std::size_t comma = field.value.rfind(',');
      const std::string_view last =
          Trimmed(comma == std::string_view::npos ? field.value : field.value.substr(comma + 1));
      if (SameText(last, "chunked")) {
        framing.chunked = true;
      } else {
        framing.other_coding = true;
      }
    } else if (SameText(field.name, "connection") || SameText(field.name, "proxy-connection")) {
      framing.close = framing.close || HasToken(field.value, "close");
      framing.keep_alive = framing.keep_alive || HasToken(field.value, "keep-alive");
    } else if (SameText(field.name, "host")) {
      framing.has_host = true;
    } else if (SameText(field.name, "proxy-authorization")) {
      framing.authorization = field.value;
    }
  });
  framing.bad = framing.bad || !fields_ok;
  return framing;
}

// "HTTP/1.1" -> 1, "HTTP/1.0" -> 0, anything else -> -1.
int MinorVersion(std::string_view version) {
  if (version == "HTTP/1.1") return 1;
  if (version == "HTTP/1.0") return 0;
  return -1;
}

bool ReadCredentials(std::string_view authorization, ProxyRequest& request) {
  const std::size_t space = authorization.find(' ');
  if (space == std::string_view::npos || !SameText(authorization.substr(0, space), "basic"))
    return false;
  const std::string_view encoded = Trimmed(authorization.substr(space + 1));
  const auto decoded = QByteArray::fromBase64Encoding(
      QByteArray(encoded.data(), static_cast<qsizetype>(encoded.size())),
      QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return false;
  const std::string pair = decoded.decoded.toStdString();
  const std::size_t colon = pair.find(':');
  request.has_credentials = true;
  request.user = pair.substr(0, colon);
  request.password = colon == std::string::npos ? std::string() : pair.substr(colon + 1);
  return true;
}

RequestParse Refused(int status, std::string text) {
  RequestParse parse;
  parse.error_status = status;
  parse.error_text = std::move(text);
  return parse;
}

// "http://host[:port][/path]" into the target and the origin-form path.
bool ReadAbsoluteTarget(std::string_view uri, ProxyRequest& request) {
  constexpr std::string_view kScheme = "http://";
  if (uri.size() < kScheme.size() || !SameText(uri.substr(0, kScheme.size()), kScheme))
    return false;
  uri.remove_prefix(kScheme.size());
  const std::size_t end = uri.find_first_of("/?#");
  std::string_view authority = uri.substr(0, end);
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  const std::optional<Target> target = ReadAuthority(authority, 80);
  if (!target) return false;
  request.target = *target;
  std::string_view path = end == std::string_view::npos ? std::string_view() : uri.substr(end);
  if (const std::size_t fragment = path.find('#'); fragment != std::string_view::npos)
    path = path.substr(0, fragment);
  request.path = path.starts_with('/') ? std::string(path) : "/" + std::string(path);
  return true;
}

std::string_view ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 405:
      return "Method Not Allowed";
    case 407:
      return "Proxy Authentication Required";
    case 431:
      return "Request Header Fields Too Large";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Error";
  }
}

// Copies the fields except those the predicate drops, each ended by CR LF.
std::string KeptFields(std::string_view fields, const std::function<bool(std::string_view)>& drop) {
  std::string kept;
  kept.reserve(fields.size() + 32);
  ForEachField(fields, [&](const Field& field) {
    if (drop(field.name)) return;
    kept.append(field.name).append(": ").append(field.value).append("\r\n");
  });
  return kept;
}

}  // namespace

std::size_t HeadLength(std::string_view bytes) {
  for (std::size_t at = bytes.find('\n'); at != std::string_view::npos;
       at = bytes.find('\n', at + 1)) {
    if (at + 1 < bytes.size() && bytes[at + 1] == '\n') return at + 2;
    if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n') return at + 3;
  }
  return 0;
}

std::string_view FaultClassName(FaultClass fault) {
  switch (fault) {
    case FaultClass::kProxy:
      return "proxy";
    case FaultClass::kTarget:
      return "target";
    case FaultClass::kNoProxy:
      return "no-proxy";
    case FaultClass::kClient:
      return "client";
    case FaultClass::kNone:
      break;
  }
  return {};
}

RequestParse ParseProxyRequest(std::string_view head) {
  // Empty lines before a request are allowed and passed over.
  while (head.starts_with("\r\n") || head.starts_with('\n'))
    head.remove_prefix(head.front() == '\r' ? 2 : 1);
  HeadLines lines{head};
  std::string_view start;
  if (!lines.Next(start)) return Refused(400, "empty request");
  const std::size_t first = start.find(' ');
  const std::size_t last = start.rfind(' ');
  if (first == std::string_view::npos || first == last || first == 0)
    return Refused(400, "malformed request line");
  const std::string_view method = start.substr(0, first);
  const std::string_view uri = start.substr(first + 1, last - first - 1);
  const int minor = MinorVersion(start.substr(last + 1));
  if (minor < 0) return Refused(505, "only HTTP/1.0 and HTTP/1.1");
  for (const char c : method)
    if (!IsTokenChar(c)) return Refused(400, "malformed method");

  RequestParse parse;
  ProxyRequest& request = parse.request;
  request.method = std::string(method);
  request.connect = method == "CONNECT";
  if (request.connect) {
    const std::optional<Target> target = ReadAuthority(uri, 0);
    if (!target) return Refused(400, "CONNECT needs host:port");
    request.target = *target;
  } else if (!ReadAbsoluteTarget(uri, request)) {
    return Refused(400, "a proxy request names an http:// URL");
  }
  const Framing framing = ReadFraming(lines.rest);
  if (framing.bad) return Refused(400, "malformed header");
  if (framing.other_coding) return Refused(501, "only the chunked transfer coding");
  if (!framing.authorization.empty() && !ReadCredentials(framing.authorization, request))
    return Refused(400, "malformed Proxy-Authorization");
  if (framing.chunked) {
    request.body.kind = BodyKind::kChunked;
  } else if (framing.length && *framing.length > 0) {
    request.body = {BodyKind::kLength, *framing.length};
  }
  request.keep_alive = minor == 1 ? !framing.close : framing.keep_alive && !framing.close;
  request.head = std::string(head);
  return parse;
}

std::string UpstreamRequestHead(const ProxyRequest& request, bool origin_form) {
  HeadLines lines{request.head};
  std::string_view start;
  lines.Next(start);
  std::string head;
  if (origin_form) {
    const std::size_t last = start.rfind(' ');
    head.append(request.method).append(" ").append(request.path).append(start.substr(last));
  } else {
    head.append(start);
  }
  head.append("\r\n");
  head += KeptFields(lines.rest, [](std::string_view name) {
    return SameText(name, "proxy-authorization") || SameText(name, "proxy-connection");
  });
  if (origin_form && !ReadFraming(lines.rest).has_host) {
    head.append("Host: ").append(HostText(request.target));
    if (request.target.port != 80) head.append(":").append(std::to_string(request.target.port));
    head.append("\r\n");
  }
  head.append("\r\n");
  return head;
}

std::optional<ResponseInfo> ParseResponseHead(std::string_view head, bool head_request) {
  HeadLines lines{head};
  std::string_view start;
  if (!lines.Next(start) || start.size() < 12 || start[8] != ' ') return std::nullopt;
  const int minor = MinorVersion(start.substr(0, 8));
  int status = 0;
  const auto [end, error] = std::from_chars(start.data() + 9, start.data() + 12, status);
  if (minor < 0 || error != std::errc() || end != start.data() + 12 || status < 100)
    return std::nullopt;
  if (start.size() > 12 && start[12] != ' ') return std::nullopt;
  const Framing framing = ReadFraming(lines.rest);
  if (framing.bad) return std::nullopt;
  ResponseInfo info;
  info.status = status;
  info.http10 = minor == 0;
  if (head_request || status < 200 || status == 204 || status == 304) {
    info.body.kind = BodyKind::kNone;
  } else if (framing.chunked) {
    info.body.kind = BodyKind::kChunked;
  } else if (framing.other_coding || !framing.length) {
    info.body.kind = BodyKind::kUntilClose;
  } else if (*framing.length > 0) {
    info.body = {BodyKind::kLength, *framing.length};
  }
  info.keep_alive = info.body.kind != BodyKind::kUntilClose &&
                    (minor == 1 ? !framing.close : framing.keep_alive && !framing.close);
  return info;
}

std::string ClientResponseHead(std::string_view head, const ResponseInfo& info, bool close) {
  HeadLines lines{head};
  std::string_view start;
  lines.Next(start);
  std::string rewritten(start);
  rewritten.append("\r\n");
  rewritten += KeptFields(lines.rest, [](std::string_view name) {
    return SameText(name, "connection") || SameText(name, "proxy-connection") ||
           SameText(name, "keep-alive");
  });
  if (close) {
    rewritten.append("Connection: close\r\n");
  } else if (info.http10) {
    rewritten.append("Connection: keep-alive\r\n");
  }
  rewritten.append("\r\n");
  return rewritten;
}

std::string ErrorResponse(int status, std::string_view text, FaultClass fault, bool challenge) {
  const std::string body = "ProxyHarvest: " + std::string(text) + "\n";
  std::string response =
      "HTTP/1.1 " + std::to_string(status) + " " + std::string(ReasonPhrase(status)) + "\r\n";
  if (fault != FaultClass::kNone)
    response.append("X-ProxyHarvest-Failure: ").append(FaultClassName(fault)).append("\r\n");
  if (challenge) response.append("Proxy-Authenticate: Basic realm=\"ProxyHarvest\"\r\n");
  response.append("Content-Type: text/plain; charset=utf-8\r\nContent-Length: ")
      .append(std::to_string(body.size()))
      .append("\r\nConnection: close\r\n\r\n")
      .append(body);
  return response;
}

}  // namespace ph
