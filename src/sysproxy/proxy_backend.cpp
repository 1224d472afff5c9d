#include "sysproxy/proxy_backend.h"

#include "core/address_text.h"

#include <QStringList>

#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A decimal number of at most max_digits ASCII digits without a leading zero; other
// digit forms (full-width, Arabic-Indic) and octal-looking text are not numbers here.
std::optional<int> PlainNumber(QStringView text, int max_digits) {
  if (text.isEmpty() || text.size() > max_digits) return std::nullopt;
  if (text.size() > 1 && text.front() == u'0') return std::nullopt;
  int value = 0;
  for (QChar c : text) {
    if (!IsAsciiDigit(c)) return std::nullopt;
    value = value * 10 + (c.unicode() - u'0');
  }
  return value;
}

bool IsDottedIpv4(QStringView text) {
  int parts = 0;
  for (QStringView part : text.split(u'.')) {
    const std::optional<int> octet = PlainNumber(part, 3);
    if (!octet || *octet > 255) return false;
    ++parts;
  }
  return parts == 4;
}

}  // namespace

SysProxyResult ParseProxyAddress(QStringView text, ProxyAddress* address) {
  ProxyAddress parsed;
  const SchemeSplit split = SplitScheme(text);
  if (split.has_scheme) {
    if (split.scheme != u"socks4" && split.scheme != u"socks5")
      return SysProxyFailure(u"只支持 IP:端口、socks4:// 和 socks5:// 地址"_s);
    parsed.kind = ProxyAddress::Kind::Socks;
  }
  const QStringView rest = split.rest;
  const qsizetype colon = rest.lastIndexOf(u':');
  if (colon < 0) return SysProxyFailure(u"地址应为 IP:端口"_s);
  const QStringView host = rest.left(colon);
  if (!IsDottedIpv4(host)) return SysProxyFailure(u"不是IPv4地址"_s);
  const std::optional<int> port = PlainNumber(rest.mid(colon + 1), 5);
  if (!port || *port < 1 || *port > 65535) return SysProxyFailure(u"端口应为1-65535"_s);
  parsed.host = host.toString();
  parsed.port = *port;
  *address = parsed;
  return {};
}

SysProxyResult SetProxyAddress(ProxyBackend& backend, QStringView text) {
  ProxyAddress address;
  SysProxyResult parsed = ParseProxyAddress(text, &address);
  return parsed.ok ? backend.SetAddress(address) : parsed;
}

Desktop ChooseDesktop(const QString& xdg_current_desktop, bool gnome_schema_installed) {
  for (const QString& name : xdg_current_desktop.split(u':')) {
    if (name.trimmed().compare("KDE"_L1, Qt::CaseInsensitive) == 0) return Desktop::Kde;
  }
  return gnome_schema_installed ? Desktop::Gnome : Desktop::None;
}

}  // namespace ph
