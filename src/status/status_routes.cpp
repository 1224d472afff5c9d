#include "status/status_routes.h"

#include "status/metrics_text.h"
#include "status/status_board.h"
#include "status/status_json.h"
#include "status/status_page.h"

namespace ph {
namespace {

constexpr char kText[] = "text/plain; charset=utf-8";

QByteArray ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

HttpAnswer TextAnswer(int status, const QString& text) {
  return {status, kText, text.toUtf8() + '\n', {}, false};
}

HttpAnswer Health(const StatusBoard& board) {
  if (const std::optional<QString> problem = board.HealthProblem())
    return TextAnswer(503, *problem);
  return TextAnswer(200, QStringLiteral("ok"));
}

}  // namespace

HttpAnswer Refusal(int status) {
  HttpAnswer answer = TextAnswer(status, QString::fromLatin1(ReasonPhrase(status)));
  answer.close = true;
  return answer;
}

HttpAnswer StatusAnswer(const StatusBoard& board, const HttpHead& head, const QString& password) {
  if (head.method != "GET" && head.method != "HEAD") {
    HttpAnswer answer = Refusal(405);
    answer.extra_headers = "Allow: GET, HEAD\r\n";
    return answer;
  }
  // No route takes a body, and one left unread would be taken for the next request.
  if (head.has_body) return Refusal(400);
  if (head.path == "/healthz") return Health(board);
  if (!password.isEmpty() && !BasicPasswordMatches(head.authorization, password)) {
    HttpAnswer answer = TextAnswer(401, QStringLiteral("需要密码"));
    answer.extra_headers = "WWW-Authenticate: Basic realm=\"ProxyHarvest\", charset=\"UTF-8\"\r\n";
    return answer;
  }
  if (head.path == "/") return {200, "text/html; charset=utf-8", StatusPage(board), {}, false};
  if (head.path == "/status.json")
    return {200, "application/json; charset=utf-8", StatusJson(board), {}, false};
  if (head.path == "/metrics") return {200, kMetricsContentType, MetricsText(board), {}, false};
  return TextAnswer(404, QStringLiteral("未找到"));
}

QByteArray ResponseBytes(const HttpAnswer& answer, bool head_only, bool keep_alive) {
  QByteArray bytes;
  bytes.reserve(256 + (head_only ? 0 : answer.body.size()));
  bytes.append("HTTP/1.1 ")
      .append(QByteArray::number(answer.status))
      .append(' ')
      .append(ReasonPhrase(answer.status))
      .append("\r\nContent-Type: ")
      .append(answer.content_type)
      .append("\r\nContent-Length: ")
      .append(QByteArray::number(answer.body.size()))
      .append("\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n")
      // The page is whole in itself: nothing may come from elsewhere, and no other site may
      // frame it.
      .append(
          "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
          "style-src 'unsafe-inline'; connect-src 'self'; img-src 'self' data:; "
          "base-uri 'none'; form-action 'none'; frame-ancestors 'none'\r\n")
      .append("Referrer-Policy: no-referrer\r\n")
      .append(answer.extra_headers)
      .append(keep_alive && !answer.close ? "Connection: keep-alive\r\n\r\n"
                                          : "Connection: close\r\n\r\n");
  if (!head_only) bytes.append(answer.body);
  return bytes;
}

}  // namespace ph
