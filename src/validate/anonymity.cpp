#include "validate/anonymity.h"

#include "core/ipv4_text.h"

#include <QByteArray>

#include <algorithm>
#include <array>

namespace ph {
namespace {

// Headers by which a proxy gives itself away.
constexpr std::array<QByteArrayView, 6> kProxyHeaders{
    "Via", "X-Forwarded-For", "Forwarded", "X-Real-Ip", "Proxy-Connection", "X-Proxy-Id"};

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// A field name starts after the start of a line, a blank, a quote or JSON punctuation.
bool MayPrecedeName(char c) {
  return c == '\n' || c == '\r' || IsSpace(c) || c == '"' || c == '\'' || c == '{' || c == ',';
}

// After a field name: an optional closing quote and blanks, then ":" or "=".
bool EndsName(QByteArrayView text, qsizetype at) {
  if (at < text.size() && (text[at] == '"' || text[at] == '\'')) ++at;
  while (at < text.size() && IsSpace(text[at])) ++at;
  return at < text.size() && (text[at] == ':' || text[at] == '=');
}

bool ShowsName(QByteArrayView lower_text, QByteArrayView lower_name) {
  for (qsizetype at = lower_text.indexOf(lower_name); at >= 0;
       at = lower_text.indexOf(lower_name, at + 1)) {
    if ((at == 0 || MayPrecedeName(lower_text[at - 1])) &&
        EndsName(lower_text, at + lower_name.size()))
      return true;
  }
  return false;
}

// True when the lower-cased text shows the header as a field: "Via: ..." as sent,
// "\"Via\": ..." as JSON, or "HTTP_VIA = ..." as a server's environment.
bool ShowsHeader(QByteArrayView lower_text, QByteArrayView header) {
  const QByteArray name = header.toByteArray().toLower();
  const QByteArray environment = "http_" + QByteArray(name).replace('-', '_');
  return ShowsName(lower_text, name) || ShowsName(lower_text, environment);
}

}  // namespace

std::optional<uint32_t> OwnAddress(QByteArrayView direct_answer) {
  const qsizetype origin = direct_answer.indexOf("origin");
  const std::vector<uint32_t> after = Ipv4sIn(direct_answer.sliced(std::max<qsizetype>(origin, 0)));
  if (!after.empty()) return after.front();
  const std::vector<uint32_t> all = Ipv4sIn(direct_answer);
  if (all.empty()) return std::nullopt;
  return all.front();
}

std::string AnonymityLevel(QByteArrayView echo, uint32_t own_address,
                           QByteArrayView direct_answer) {
  const std::vector<uint32_t> seen = Ipv4sIn(echo);
  if (seen.empty()) return {};
  if (std::find(seen.begin(), seen.end(), own_address) != seen.end()) return kTransparentLevel;
  // Lower-cased once: header names match in any letter case.
  const QByteArray lower_echo = echo.toByteArray().toLower();
  const QByteArray lower_direct = direct_answer.toByteArray().toLower();
  const bool gives_away = std::any_of(kProxyHeaders.begin(), kProxyHeaders.end(), [&](auto h) {
    return ShowsHeader(lower_echo, h) && !ShowsHeader(lower_direct, h);
  });
  return gives_away ? kAnonymousLevel : kEliteLevel;
}

}  // namespace ph
