#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace ph {

// A dotted IPv4 address found in text, the ip in host order; end is the index just past it.
struct Ipv4Match {
  uint32_t ip = 0;
  qsizetype end = 0;
};

// The dotted IPv4 address that starts at text[at]: four parts 0-255 written without leading
// zeros ("0" itself is a part), not followed by another digit or by "." and a digit. Whether
// text[at] starts a word is the caller's question.
std::optional<Ipv4Match> Ipv4At(QByteArrayView text, qsizetype at);

// Every dotted IPv4 address in text that is not part of a longer number or dotted run.
std::vector<uint32_t> Ipv4sIn(QByteArrayView text);

QString Ipv4Text(uint32_t ip);
// The dotted form of ip written at out, which has room for 15 characters; returns its length.
int WriteIpv4(uint32_t ip, char* out);

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number of 1 to max_digits digits at text[at], written without a leading zero
// ("0" itself is one), at most max_value and not followed by another digit. at moves past
// the digits read.
std::optional<uint32_t> PlainDecimalAt(QByteArrayView text, qsizetype& at, int max_digits,
                                       uint32_t max_value);

}  // namespace ph
