#include "rotate/pool_rows.h"

#include "core/address_text.h"
#include "core/ipv4_text.h"
#include "core/literals.h"
#include "core/numbers.h"

#include <limits>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

std::optional<UpstreamProtocol> ProtocolOfScheme(const SchemeSplit& split) {
  if (!split.has_scheme) return UpstreamProtocol::kHttp;
  if (split.scheme.compare("socks5"_L1, Qt::CaseInsensitive) == 0) return UpstreamProtocol::kSocks5;
  if (split.scheme.compare("socks4"_L1, Qt::CaseInsensitive) == 0) return UpstreamProtocol::kSocks4;
  if (split.scheme.compare("http"_L1, Qt::CaseInsensitive) == 0) return UpstreamProtocol::kHttp;
  return std::nullopt;
}

bool Digit(QChar c) { return c >= u'0' && c <= u'9'; }

// A number cell: whole digits (with the "%" of a ratio) at once, as nearly all are; anything
// else by the lenient reader.
double CellNumber(const QString& cell) {
  int value = 0;
  qsizetype at = 0;
  for (; at < cell.size() && at < 9 && Digit(cell[at]); ++at)
    value = value * 10 + (cell[at].unicode() - u'0');
  if (at > 0 && (at == cell.size() || (at + 1 == cell.size() && cell[at] == u'%'))) return value;
  return ReadNumber(cell);
}

}  // namespace

std::optional<Upstream> ReadUpstreamAddress(QStringView address) {
  // Nearly every address is "ip:port" as the list keeps it: no blanks, no scheme to look for.
  if (!address.isEmpty() && !(Digit(address.front()) && Digit(address.back())))
    address = address.trimmed();
  const SchemeSplit split = !address.isEmpty() && Digit(address.front())
                                ? SchemeSplit{false, {}, address}
                                : SplitScheme(address);
  const std::optional<UpstreamProtocol> protocol = ProtocolOfScheme(split);
  // "255.255.255.255:65535" is the longest; the readers below want bytes.
  char bytes[24];
  if (!protocol || split.rest.size() >= static_cast<qsizetype>(sizeof(bytes))) return std::nullopt;
  for (qsizetype i = 0; i < split.rest.size(); ++i) {
    const char16_t c = split.rest[i].unicode();
    if (c >= 0x80) return std::nullopt;
    bytes[i] = static_cast<char>(c);
  }
  const QByteArrayView text(bytes, split.rest.size());
  const std::optional<Ipv4Match> ip = Ipv4At(text, 0);
  if (!ip || ip->end >= text.size() || text[ip->end] != ':') return std::nullopt;
  qsizetype at = ip->end + 1;
  const std::optional<uint32_t> port = PlainDecimalAt(text, at, 5, 65535);
  if (!port || *port == 0 || at != text.size()) return std::nullopt;
  Upstream upstream;
  upstream.protocol = *protocol;
  upstream.ip = ip->ip;
  upstream.port = static_cast<uint16_t>(*port);
  return upstream;
}

Anonymity ReadAnonymity(QStringView cell) {
  if (cell == QStringView(u"高匿")) return Anonymity::kElite;
  if (cell == QStringView(u"普通匿名")) return Anonymity::kAnonymous;
  if (cell.startsWith(QStringView(u"透明"))) return Anonymity::kTransparent;
  return Anonymity::kUnknown;
}

bool PoolWorthy(const ProxyEntry& entry, double min_percent) {
  return entry.Cell(kTestResult) == kSuccessText &&
         CellNumber(entry.Cell(kSuccessRatio)) >= min_percent;
}

Pool PoolFromList(const ProxyList& list, double min_percent) {
  std::vector<Upstream> upstreams;
  for (int row = 1; row <= list.RowCount(); ++row) {
    const ProxyEntry& entry = list.Entry(row);
    if (!PoolWorthy(entry, min_percent)) continue;
    std::optional<Upstream> upstream = ReadUpstreamAddress(entry.Cell(kAddress));
    if (!upstream) continue;
    upstream->row = entry.id;
    const QString& elapsed = entry.Cell(kElapsedMs);
    upstream->elapsed_ms =
        elapsed.isEmpty() ? std::numeric_limits<int>::max() : RoundToInt32(CellNumber(elapsed));
    upstream->anonymity = ReadAnonymity(entry.Cell(kProxyType));
    upstream->region = entry.Cell(kRegion);
    upstreams.push_back(std::move(*upstream));
  }
  return Pool(std::move(upstreams));
}

}  // namespace ph
