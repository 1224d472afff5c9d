#include "web/decode_uri.h"

#include "core/literals.h"
#include "core/numbers.h"

#include <optional>

namespace ph {
namespace {

// Reads exactly count hex digits at pos.
std::optional<char32_t> ReadHex(QStringView text, qsizetype pos, int count) {
  if (pos + count > text.size()) return std::nullopt;
  char32_t value = 0;
  for (int i = 0; i < count; ++i) {
    const int digit = HexDigitValue(text[pos + i].unicode());
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<char32_t>(digit);
  }
  return value;
}

bool IsOctal(QChar c) { return c >= u'0' && c <= u'7'; }

void AppendCodePoint(QString& out, char32_t code_point) {
  if (code_point > 0xFFFF) {
    out.append(QChar(QChar::highSurrogate(code_point)));
    out.append(QChar(QChar::lowSurrogate(code_point)));
  } else {
    out.append(QChar(static_cast<char16_t>(code_point)));
  }
}

// The value of a single-quoted string literal with this content, as a non-strict script
// reads it (legacy octal escapes included).
std::optional<QString> StringLiteralValue(QStringView text) {
  QString out;
  out.reserve(text.size());
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c == u'\'' || c == u'\n' || c == u'\r') return std::nullopt;
    if (c != u'\\') {
      out.append(c);
      continue;
    }
    if (++i >= n) return std::nullopt;  // the backslash would escape the closing quote
    const QChar e = text[i];
    switch (e.unicode()) {
      case u'\r':
        if (i + 1 < n && text[i + 1] == u'\n') ++i;
        break;  // line continuation
      case u'\n':
      case 0x2028:
      case 0x2029:
        break;  // line continuation
      case u'b':
        out.append(QChar(u'\b'));
        break;
      case u'f':
        out.append(QChar(u'\f'));
        break;
      case u'n':
        out.append(QChar(u'\n'));
        break;
      case u'r':
        out.append(QChar(u'\r'));
        break;
      case u't':
        out.append(QChar(u'\t'));
        break;
      case u'v':
        out.append(QChar(u'\v'));
        break;
      case u'x': {
        const auto value = ReadHex(text, i + 1, 2);
        if (!value) return std::nullopt;
        out.append(QChar(static_cast<char16_t>(*value)));
        i += 2;
        break;
      }
      case u'u': {
        if (i + 1 < n && text[i + 1] == u'{') {
          const qsizetype close = text.indexOf(u'}', i + 2);
          if (close < 0 || close == i + 2) return std::nullopt;
          char32_t value = 0;
          for (qsizetype k = i + 2; k < close; ++k) {
            const int digit = HexDigitValue(text[k].unicode());
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<char32_t>(digit);
            if (value > 0x10FFFF) return std::nullopt;
          }
          AppendCodePoint(out, value);
          i = close;
        } else {
          const auto value = ReadHex(text, i + 1, 4);
          if (!value) return std::nullopt;
          out.append(QChar(static_cast<char16_t>(*value)));
          i += 4;
        }
        break;
      }
      default:
        if (IsOctal(e)) {
          // Legacy octal: up to three digits starting with 0-3, up to two starting with 4-7.
          int value = e.unicode() - u'0';
          const int max_digits = value <= 3 ? 3 : 2;
          for (int digits = 1; digits < max_digits && i + 1 < n && IsOctal(text[i + 1]); ++digits) {
            value = value * 8 + (text[++i].unicode() - u'0');
          }
          out.append(QChar(static_cast<char16_t>(value)));
        } else {
          out.append(e);  // \' \" \\ \8 \9 and every other character stand for themselves
        }
    }
  }
  return out;
}

bool IsReservedForDecodeUri(char16_t c) {
  return c == u';' || c == u'/' || c == u'?' || c == u':' || c == u'@' || c == u'&' || c == u'=' ||
         c == u'+' || c == u'$' || c == u',' || c == u'#';
}

// The %XX escape at pos, or nothing when it is not one.
std::optional<unsigned> EscapedByte(QStringView text, qsizetype pos) {
  if (pos + 2 >= text.size() || text[pos] != u'%') return std::nullopt;
  const auto value = ReadHex(text, pos + 1, 2);
  if (!value) return std::nullopt;
  return static_cast<unsigned>(*value);
}

std::optional<QString> DecodeUriEscapes(QStringView text) {
  QString out;
  out.reserve(text.size());
  const qsizetype n = text.size();
  for (qsizetype k = 0; k < n; ++k) {
    if (text[k] != u'%') {
      out.append(text[k]);
      continue;
    }
    const auto lead = EscapedByte(text, k);
    if (!lead) return std::nullopt;
    if (*lead < 0x80) {
      const auto c = static_cast<char16_t>(*lead);
      if (IsReservedForDecodeUri(c)) {
        out.append(text.mid(k, 3));
      } else {
        out.append(QChar(c));
      }
      k += 2;
      continue;
    }
    int length = 0;
    if ((*lead & 0xE0) == 0xC0)
      length = 2;
    else if ((*lead & 0xF0) == 0xE0)
      length = 3;
    else if ((*lead & 0xF8) == 0xF0)
      length = 4;
    else
      return std::nullopt;
    char32_t code_point = *lead & (0xFF >> (length + 1));
    for (int j = 1; j < length; ++j) {
      const auto next = EscapedByte(text, k + 3 * j);
      if (!next || (*next & 0xC0) != 0x80) return std::nullopt;
      code_point = (code_point << 6) | (*next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < kSmallest[length] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF))
      return std::nullopt;
    AppendCodePoint(out, code_point);
    k += 3 * length - 1;
  }
  return out;
}

}  // namespace

QString DecodeUri(QStringView text) {
  const std::optional<QString> literal = StringLiteralValue(text);
  if (!literal) return kNothing;
  const std::optional<QString> decoded = DecodeUriEscapes(*literal);
  return decoded ? *decoded : kNothing;
}

}  // namespace ph
