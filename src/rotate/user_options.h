#pragma once

#include "rotate/pool.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace ph {

// What a client asks of the upstream through the user name it gives the listener: words
// joined by "-", e.g. "session-7-anon-elite-region-北京".
//   session-<id>        the same upstream for that id while it works
//   anon-elite          only 高匿 rows; anon-anonymous: 普通匿名 or 高匿
//   proto-http|socks4|socks5
//   region-<text>       rows whose 地区 contains the text; UTF-8 or GBK, percent-escapes
//                       allowed (so "%2D" stands for a "-" inside the text)
// Words it does not know are passed over, so any user name is accepted.
struct SelectionOptions {
  std::string session;
  Anonymity least_anonymity = Anonymity::kUnknown;
  std::optional<UpstreamProtocol> protocol;
  QString region;
};

inline constexpr std::size_t kMostUserBytes = 255;

SelectionOptions ReadUserOptions(std::string_view user);

// Whether an upstream serves the options (the session aside).
bool Serves(const Upstream& upstream, const SelectionOptions& options);

}  // namespace ph
