#include "sysproxy/proxy_backend.h"

#include "core/address_text.h"
#include "core/ipv4_text.h"

#include <QStringList>

#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Strict readings shared with the list sources: ASCII digits only, no leading zeros; other
// digit forms (full-width, Arabic-Indic) become "?" in Latin-1 and octal-looking text fails.
bool IsDottedIpv4(QStringView text) {
  const QByteArray bytes = text.toLatin1();
  const std::optional<Ipv4Match> match = Ipv4At(bytes, 0);
  return match && match->end == bytes.size();
}

std::optional<uint32_t> PortNumber(QStringView text) {
  const QByteArray bytes = text.toLatin1();
  qsizetype at = 0;
  const std::optional<uint32_t> port = PlainDecimalAt(bytes, at, 5, 65535);
  return at == bytes.size() ? port : std::nullopt;
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
  const std::optional<uint32_t> port = PortNumber(rest.mid(colon + 1));
  if (!port || *port < 1) return SysProxyFailure(u"端口应为1-65535"_s);
  parsed.host = host.toString();
  parsed.port = static_cast<int>(*port);
  *address = parsed;
  return {};
}

Desktop ChooseDesktop(const QString& xdg_current_desktop, bool gnome_schema_installed) {
  for (const QString& name : xdg_current_desktop.split(u':')) {
    if (name.trimmed().compare("KDE"_L1, Qt::CaseInsensitive) == 0) return Desktop::Kde;
  }
  return gnome_schema_installed ? Desktop::Gnome : Desktop::None;
}

}  // namespace ph
