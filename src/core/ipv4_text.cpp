#include "core/ipv4_text.h"

#include <array>

namespace ph {

std::optional<uint32_t> PlainDecimalAt(QByteArrayView text, qsizetype& at, int max_digits,
                                       uint32_t max_value) {
  const qsizetype begin = at;
  uint64_t value = 0;
  // One digit more than allowed is read, so that a longer number is seen as one.
  while (at < text.size() && at - begin <= max_digits && IsAsciiDigit(text[at]))
    value = value * 10 + static_cast<uint64_t>(text[at++] - '0');
  const qsizetype digits = at - begin;
  if (digits == 0 || digits > max_digits || (digits > 1 && text[begin] == '0') || value > max_value)
    return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<Ipv4Match> Ipv4At(QByteArrayView text, qsizetype at) {
  uint32_t ip = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    const std::optional<uint32_t> value = PlainDecimalAt(text, at, 3, 255);
    if (!value) return std::nullopt;
    ip = ip << 8 | *value;
  }
  // A fifth part makes it something else, a version number or a longer dotted run.
  if (at + 1 < text.size() && text[at] == '.' && IsAsciiDigit(text[at + 1])) return std::nullopt;
  return Ipv4Match{ip, at};
}

std::vector<uint32_t> Ipv4sIn(QByteArrayView text) {
  std::vector<uint32_t> found;
  for (qsizetype at = 0; at < text.size(); ++at) {
    if (!IsAsciiDigit(text[at])) continue;
    const bool starts_word = at == 0 || (!IsAsciiDigit(text[at - 1]) && text[at - 1] != '.');
    const std::optional<Ipv4Match> match = starts_word ? Ipv4At(text, at) : std::nullopt;
    if (match) {
      found.push_back(match->ip);
      at = match->end;
    }
  }
  return found;
}

int WriteIpv4(uint32_t ip, char* out) {
  // Made by hand: a large list makes hundreds of thousands of these.
  int length = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const uint32_t part = ip >> shift & 0xFF;
    if (part >= 100) out[length++] = static_cast<char>('0' + part / 100);
    if (part >= 10) out[length++] = static_cast<char>('0' + part / 10 % 10);
    out[length++] = static_cast<char>('0' + part % 10);
    if (shift > 0) out[length++] = '.';
  }
  return length;
}

QString Ipv4Text(uint32_t ip) {
  std::array<char, 16> text{};
  return QString::fromLatin1(text.data(), WriteIpv4(ip, text.data()));
}

}  // namespace ph
