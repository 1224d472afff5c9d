#include "core/address_text.h"

namespace ph {

SchemeSplit SplitScheme(QStringView address) {
  const qsizetype end = address.indexOf(u"://");
  if (end < 0) return {false, {}, address};
  return {true, address.left(end), address.mid(end + 3)};
}

QStringView AddressHost(QStringView address) {
  const QStringView rest = SplitScheme(address).rest;
  const qsizetype colon = rest.indexOf(u':');
  return colon < 0 ? rest : rest.left(colon);
}

}  // namespace ph
