#include "ui/row_filter.h"

#include "core/address_text.h"
#include "core/literals.h"
#include "core/proxy_list.h"

namespace ph {
namespace {

std::u16string_view View(QStringView text) {
  return {text.utf16(), static_cast<std::size_t>(text.size())};
}

}  // namespace

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

bool RowFilter::Narrows(const RowFilter& wider) const {
  return text.contains(wider.text, Qt::CaseInsensitive) &&
         (successful_only || !wider.successful_only) &&
         (wider.protocols == 0 || (protocols != 0 && (protocols & ~wider.protocols) == 0));
}

RowTest::RowTest(const RowFilter& filter) : filter_(filter) {
  if (filter_.text.toLower() == filter_.text.toUpper()) exact_ = View(filter_.text);
}

bool RowTest::Holds(const QString& cell) const {
  if (exact_.empty()) return cell.contains(filter_.text, Qt::CaseInsensitive);
  return View(cell).find(exact_) != std::u16string_view::npos;
}

bool RowTest::Passes(const ProxyList& list, int row) const {
  if (filter_.successful_only && list.CellText(row, kTestResult) != kSuccessText) return false;
  const QString& address = list.CellText(row, kAddress);
  if (filter_.protocols != 0 && (ProtocolOf(address) & filter_.protocols) == 0) return false;
  if (filter_.text.isEmpty()) return true;
  return Holds(address) || Holds(list.CellText(row, kRegion)) ||
         Holds(list.CellText(row, kProxyType));
}

}  // namespace ph
