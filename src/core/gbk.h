#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace ph {

// Code page 936 (GBK), the encoding of every file the program writes and of its wire texts.
// The tables are built once, on first use, from the C library's converter.

// Text to GBK bytes; a character GBK cannot hold becomes "?".
QByteArray ToGbk(QStringView text);

// The GBK code of one UTF-16 unit: one byte below 0x100, lead and trail byte above; 0 when
// GBK cannot hold it (U+0000 aside, whose code is 0 too).
uint16_t GbkCode(char16_t c);

// GBK bytes to text following the code page: ASCII bytes, the single byte 0x80 (euro sign),
// lead bytes 0x81-0xFE with their trail byte. Invalid sequences become U+FFFD.
QString FromGbk(QByteArrayView bytes);

// A response body decoded by the charset its Content-Type declares: the GBK family through
// the tables above, Latin-1, and UTF-8 for everything else and when nothing is declared.
QString DecodeDeclaredCharset(QByteArrayView body, QByteArrayView content_type);

// The character of one double-byte pair, U+FFFD when the pair is not a GBK character.
QChar GbkPairToChar(unsigned char lead, unsigned char trail);

// Byte-pair reading used for undeclared page bodies: every byte from 0x80 up starts a
// two-byte character. A lead byte without its partner at the end makes it fail.
std::optional<QString> GbkBytesToText(QByteArrayView body);

}  // namespace ph
