#include "rotate/user_options.h"

#include "core/gbk.h"
#include "core/numbers.h"

#include <QUtf8StringView>

namespace ph {
namespace {

// "%xx" escapes decoded; a "%" without two hex digits stays itself.
std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexDigitValue(static_cast<unsigned char>(text[i + 1]));
      const int low = HexDigitValue(static_cast<unsigned char>(text[i + 2]));
      if (high >= 0 && low >= 0) {
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    decoded.push_back(text[i]);
  }
  return decoded;
}

// Clients on a Chinese Windows send what was typed in GBK; everyone else in UTF-8.
QString RegionText(std::string_view raw) {
  const std::string bytes = PercentDecoded(raw);
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (QUtf8StringView(bytes).isValidUtf8()) return QString::fromUtf8(view);
  return FromGbk(view);
}

std::optional<UpstreamProtocol> ProtocolWord(std::string_view word) {
  if (word == "http") return UpstreamProtocol::kHttp;
  if (word == "socks4") return UpstreamProtocol::kSocks4;
  if (word == "socks5") return UpstreamProtocol::kSocks5;
  return std::nullopt;
}

}  // namespace

SelectionOptions ReadUserOptions(std::string_view user) {
  SelectionOptions options;
  user = user.substr(0, kMostUserBytes);
  std::size_t at = 0;
  // The next word, and at past it and its "-".
  const auto next = [&]() -> std::string_view {
    if (at > user.size()) return {};
    const std::size_t dash = user.find('-', at);
    const std::size_t end = dash == std::string_view::npos ? user.size() : dash;
    const std::string_view word = user.substr(at, end - at);
    at = end + 1;
    return word;
  };
  while (at < user.size()) {
    const std::string_view word = next();
    if (word == "session") {
      options.session = std::string(next());
    } else if (word == "anon") {
      const std::string_view level = next();
      if (level == "elite") options.least_anonymity = Anonymity::kElite;
      if (level == "anonymous") options.least_anonymity = Anonymity::kAnonymous;
    } else if (word == "proto") {
      if (const auto protocol = ProtocolWord(next())) options.protocol = protocol;
    } else if (word == "region") {
      options.region = RegionText(next());
    }
  }
  return options;
}

bool Serves(const Upstream& upstream, const SelectionOptions& options) {
  if (options.protocol && upstream.protocol != *options.protocol) return false;
  if (options.least_anonymity != Anonymity::kUnknown &&
      upstream.anonymity < options.least_anonymity)
    return false;
  return options.region.isEmpty() || upstream.region.contains(options.region);
}

}  // namespace ph
