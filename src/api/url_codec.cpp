#include "api/url_codec.h"

#include "core/gbk.h"
#include "core/numbers.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr qsizetype kMostDecodedBytes = 999999;

// The ASCII punctuation a URL gives a meaning to: 0x21-0x2C, 0x2F, 0x3A-0x40, 0x5B-0x5E,
// 0x60, 0x7B-0x7E.
bool Reserved(char32_t c) {
  return (c >= 0x21 && c <= 0x2C) || c == 0x2F || (c >= 0x3A && c <= 0x40) ||
         (c >= 0x5B && c <= 0x5E) || c == 0x60 || (c >= 0x7B && c <= 0x7E);
}

void AppendEscape(QString& out, unsigned char byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  const char16_t escape[3] = {u'%', kHex[byte >> 4], kHex[byte & 0x0F]};
  out.append(QStringView(escape, 3));
}

// The hex digits at the start of two characters: "4g" reads 4, "zz" reads 0.
unsigned char LenientHexByte(QChar first, QChar second) {
  const int high = HexDigitValue(first.unicode());
  if (high < 0) return 0;
  const int low = HexDigitValue(second.unicode());
  return static_cast<unsigned char>(low < 0 ? high : high * 16 + low);
}

// Appends the characters as one byte each; nothing when one needs two.
bool AppendAsBytes(QByteArray& bytes, QStringView text) {
  for (const QChar c : text) {
    const uint16_t code = GbkCode(c.unicode());
    if (code >= 0x100) return false;
    bytes += code == 0 && !c.isNull() ? '?' : static_cast<char>(code);
  }
  return true;
}

}  // namespace

QString UrlEncode(QStringView text) {
  QString out;
  out.reserve(text.size() * 6);
  AppendUrlEncoded(out, text);
  return out;
}

void AppendUrlEncoded(QString& out, QStringView text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;  // GBK holds no character beyond the first plane
      AppendEscape(out, '?');
      continue;
    }
    const uint16_t code = GbkCode(c.unicode());
    if (code >= 0x100) {
      AppendEscape(out, static_cast<unsigned char>(code >> 8));
      AppendEscape(out, static_cast<unsigned char>(code & 0xFF));
    } else if (c == u' ') {
      out += u'+';
    } else if (code == 0 && !c.isNull()) {
      AppendEscape(out, '?');
    } else if (Reserved(c.unicode())) {
      AppendEscape(out, static_cast<unsigned char>(code));
    } else {
      out += c;
    }
  }
}

QString UrlDecode(QStringView text) {
  QString plain = text.toString();
  plain.replace(u'+', u' ');
  if (!plain.contains(u'%')) return plain;

  const QList<QStringView> pieces = QStringView(plain).split(u'%');
  QByteArray bytes;
  if (!AppendAsBytes(bytes, pieces.front())) return {};
  for (qsizetype i = 1; i < pieces.size(); ++i) {
    const QStringView piece = pieces[i];
    if (piece.size() >= 2) {
      bytes += static_cast<char>(LenientHexByte(piece[0], piece[1]));
      if (!AppendAsBytes(bytes, piece.mid(2))) return {};
    } else if (!AppendAsBytes(bytes, piece)) {
      return {};
    }
    if (bytes.size() > kMostDecodedBytes) return {};
  }
  if (bytes.isEmpty()) return {};
  return FromGbk(bytes);
}

}  // namespace ph
