#include "harvest/list_addresses.h"

#include "core/ipv4_text.h"

#include <algorithm>
#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsWordChar(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// An address starts a word: not inside a number, a dotted run or a name, and not after the
// "@" of a user name and password.
bool MayPrecede(char c) { return !IsWordChar(c) && c != '.' && c != '@'; }

// The protocol of an address at text[at]: its scheme when "://" (or ":\/\/", JSON's escaped
// form) comes right before it, otherwise bare. Nothing for a scheme that is no protocol word.
std::optional<ListProtocol> ProtocolBefore(QByteArrayView text, qsizetype at, ListProtocol bare) {
  qsizetype separator = -1;
  for (const QByteArrayView form : {QByteArrayView("://"), QByteArrayView(":\\/\\/")}) {
    if (at >= form.size() && text.sliced(at - form.size(), form.size()) == form)
      separator = at - form.size();
  }
  if (separator < 0) return bare;
  qsizetype begin = separator;
  while (begin > 0 && IsWordChar(text[begin - 1])) --begin;
  return ProtocolFromWord(text.sliced(begin, separator - begin));
}

qsizetype EndOfRun(QByteArrayView text, qsizetype at) {
  while (at < text.size() && (IsAsciiDigit(text[at]) || text[at] == '.')) ++at;
  return at;
}

}  // namespace

std::optional<ListProtocol> ProtocolFromWord(QByteArrayView word) {
  struct Word {
    QByteArrayView text;
    ListProtocol protocol;
  };
  static constexpr std::array<Word, 6> kWords{{
      {"http", ListProtocol::Http},
      {"https", ListProtocol::Http},
      {"socks4", ListProtocol::Socks4},
      {"socks4a", ListProtocol::Socks4},
      {"socks5", ListProtocol::Socks5},
      {"socks5h", ListProtocol::Socks5},
  }};
  for (const Word& known : kWords)
    if (word.compare(known.text, Qt::CaseInsensitive) == 0) return known.protocol;
  return std::nullopt;
}

uint64_t ListAddress::Key() const {
  return static_cast<uint64_t>(ip) << 24 | static_cast<uint64_t>(port) << 8 |
         static_cast<uint64_t>(protocol);
}

QString ListAddress::Cell() const {
  // One buffer and one allocation per cell: a large list makes hundreds of thousands.
  std::array<char, 40> text{};
  int length = 0;
  const char* scheme = protocol == ListProtocol::Socks4   ? "socks4://"
                       : protocol == ListProtocol::Socks5 ? "socks5://"
                                                          : "";
  while (*scheme != '\0') text[length++] = *scheme++;
  length += WriteIpv4(ip, text.data() + length);
  text[length++] = ':';
  std::array<char, 5> digits{};
  int count = 0;
  for (uint32_t rest = port; rest > 0; rest /= 10)
    digits[count++] = static_cast<char>('0' + rest % 10);
  while (count > 0) text[length++] = digits[--count];
  return QString::fromLatin1(text.data(), length);
}

ListExtract ExtractListAddresses(QByteArrayView text, ListProtocol bare, std::size_t most) {
  ListExtract result;
  for (qsizetype at = 0; at < text.size(); ++at) {
    if (!IsAsciiDigit(text[at])) continue;
    const qsizetype run_end = EndOfRun(text, at);
    std::optional<Ipv4Match> ip;
    if (at == 0 || MayPrecede(text[at - 1])) ip = Ipv4At(text, at);
    if (!ip || ip->end >= text.size() || text[ip->end] != ':') {
      at = run_end - 1;  // nothing inside the run starts a word
      continue;
    }
    qsizetype port_end = ip->end + 1;
    const std::optional<uint32_t> port = PlainDecimalAt(text, port_end, 5, 65535);
    const std::optional<ListProtocol> protocol = ProtocolBefore(text, at, bare);
    at = port_end - 1;
    if (!port || *port == 0 || !protocol) continue;
    if (result.addresses.size() >= most) {
      result.cut = true;
      break;
    }
    result.addresses.push_back({ip->ip, static_cast<uint16_t>(*port), *protocol});
  }
  return result;
}

QByteArrayView WithoutLastWord(QByteArrayView text) {
  qsizetype end = text.size();
  auto in_address = [](char c) {
    return IsWordChar(c) || c == '.' || c == ':' || c == '/' || c == '\\';
  };
  while (end > 0 && in_address(text[end - 1])) --end;
  return text.first(end);
}

bool SeenAddresses::Insert(uint64_t key) {
  // At most half full, so a probe soon meets a free slot.
  if (2 * (count_ + 1) > slots_.size()) {
    std::vector<uint64_t> old(std::max<std::size_t>(1024, 2 * slots_.size()), 0);
    old.swap(slots_);
    count_ = 0;
    for (const uint64_t kept : old)
      if (kept != 0) Insert(kept);
  }
  const std::size_t mask = slots_.size() - 1;
  // Spreads keys that differ only in their low bits (neighbouring ports) over the table.
  for (std::size_t at = (key * 0x9E3779B97F4A7C15ULL) >> 32 & mask;; at = (at + 1) & mask) {
    if (slots_[at] == key) return false;
    if (slots_[at] == 0) {
      slots_[at] = key;
      ++count_;
      return true;
    }
  }
}

void SeenAddresses::Clear() {
  slots_.clear();
  count_ = 0;
}

void DropSeen(std::vector<ListAddress>& addresses, SeenAddresses& seen) {
  std::erase_if(addresses, [&seen](const ListAddress& a) { return !seen.Insert(a.Key()); });
}

}  // namespace ph
