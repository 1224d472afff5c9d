#include "ui/row_filter.h"

#include "core/address_text.h"
#include "core/literals.h"
#include "core/proxy_list.h"

namespace ph {

unsigned ProtocolOf(QStringView address) {
  const SchemeSplit split = SplitScheme(address);
  if (!split.has_scheme) return kHttp;
  const QStringView scheme = split.scheme;
  const auto is = [scheme](QStringView name) {
    return scheme.compare(name, Qt::CaseInsensitive) == 0;
  };
  if (is(u"http") || is(u"https")) return kHttp;
  if (is(u"socks4") || is(u"socks4a")) return kSocks4;
  if (is(u"socks5") || is(u"socks5h")) return kSocks5;
  return 0;
}

bool RowFilter::Passes(const ProxyList& list, int row) const {
  if (successful_only && list.CellText(row, kTestResult) != kSuccessText) return false;
  const QString& address = list.CellText(row, kAddress);
  if (protocols != 0 && (ProtocolOf(address) & protocols) == 0) return false;
  if (text.isEmpty()) return true;
  return address.contains(text, Qt::CaseInsensitive) ||
         list.CellText(row, kRegion).contains(text, Qt::CaseInsensitive) ||
         list.CellText(row, kProxyType).contains(text, Qt::CaseInsensitive);
}

bool RowFilter::Narrows(const RowFilter& wider) const {
  return text.contains(wider.text, Qt::CaseInsensitive) &&
         (successful_only || !wider.successful_only) &&
         (wider.protocols == 0 || (protocols != 0 && (protocols & ~wider.protocols) == 0));
}

}  // namespace ph
