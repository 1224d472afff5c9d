#include "status/listen_address.h"

#include <QHostAddress>

#include <algorithm>

namespace ph {
namespace {

bool AllDigits(const QString& text) {
  return !text.isEmpty() &&
         std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

std::optional<ListenAddress> SplitListenAddress(const QString& text) {
  const QString trimmed = text.trimmed();
  if (AllDigits(trimmed)) return ListenAddress{{}, trimmed};
  qsizetype colon = -1;
  QString address;
  if (trimmed.startsWith(u'[')) {
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0 || close + 1 >= trimmed.size() || trimmed[close + 1] != u':') return std::nullopt;
    address = trimmed.mid(1, close - 1);
    colon = close + 1;
  } else {
    colon = trimmed.indexOf(u':');
    // Two colons without brackets: an IPv6 address whose port cannot be told apart.
    if (colon < 0 || trimmed.indexOf(u':', colon + 1) >= 0) return std::nullopt;
    address = trimmed.left(colon);
  }
  const QString port = trimmed.mid(colon + 1);
  if (address.isEmpty() || !AllDigits(port)) return std::nullopt;
  return ListenAddress{address, port};
}

bool IsLoopbackAddress(const QString& address) {
  const QHostAddress parsed(address.trimmed());
  return !parsed.isNull() && parsed.isLoopback();
}

}  // namespace ph
