#include "core/gbk.h"

#include <QList>

#include <iconv.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace ph {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct GbkTables {
  // decode[(lead - 0x80) * 256 + trail] for lead 0x80..0xFF
  std::vector<char16_t> decode = std::vector<char16_t>(128 * 256, kReplacement);
  // encode[utf16 unit]: 0 = not in GBK, < 0x100 one byte, otherwise lead << 8 | trail
  std::vector<uint16_t> encode = std::vector<uint16_t>(65536, 0);
  char16_t euro_single = kReplacement;  // what the lone byte 0x80 stands for
};

char16_t ConvertOne(iconv_t cd, const unsigned char* in, std::size_t length) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(in));
  std::size_t in_left = length;
  std::array<char16_t, 4> out{};
  char* out_ptr = reinterpret_cast<char*>(out.data());
  std::size_t out_left = sizeof(out);
  const std::size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  const std::size_t produced = (sizeof(out) - out_left) / sizeof(char16_t);
  if (result == static_cast<std::size_t>(-1) || in_left != 0 || produced != 1) return kReplacement;
  return out[0];
}

std::unique_ptr<GbkTables> BuildTables() {
  auto tables = std::make_unique<GbkTables>();
  for (uint16_t c = 0; c < 0x80; ++c) tables->encode[c] = c;
  iconv_t cd = iconv_open("UTF-16LE", "CP936");
  if (cd == reinterpret_cast<iconv_t>(-1)) return tables;  // ASCII still works
  const unsigned char euro = 0x80;
  tables->euro_single = ConvertOne(cd, &euro, 1);
  if (tables->euro_single != kReplacement) tables->encode[tables->euro_single] = 0x80;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::array<unsigned char, 2> pair{static_cast<unsigned char>(lead),
                                              static_cast<unsigned char>(trail)};
      const char16_t c = ConvertOne(cd, pair.data(), 2);
      if (c == kReplacement) continue;
      tables->decode[(lead - 0x80) * 256 + trail] = c;
      if (tables->encode[c] == 0) tables->encode[c] = static_cast<uint16_t>(lead << 8 | trail);
    }
  }
  iconv_close(cd);
  return tables;
}

const GbkTables& Tables() {
  static const std::unique_ptr<GbkTables> tables = BuildTables();
  return *tables;
}

}  // namespace

uint16_t GbkCode(char16_t c) { return Tables().encode[c]; }

QByteArray ToGbk(QStringView text) {
  const GbkTables& t = Tables();
  QByteArray out;
  out.reserve(text.size() * 2);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;  // one character outside the BMP, one "?"
      out.append('?');
      continue;
    }
    const uint16_t code = t.encode[c];
    if (code == 0 && c != 0) {
      out.append('?');
    } else if (code < 0x100) {
      out.append(static_cast<char>(code));
    } else {
      out.append(static_cast<char>(code >> 8));
      out.append(static_cast<char>(code & 0xFF));
    }
  }
  return out;
}

QChar GbkPairToChar(unsigned char lead, unsigned char trail) {
  if (lead < 0x80) return QChar(kReplacement);
  return QChar(Tables().decode[(lead - 0x80) * 256 + trail]);
}

QString FromGbk(QByteArrayView bytes) {
  const GbkTables& t = Tables();
  QString out;
  out.reserve(bytes.size());
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const qsizetype n = bytes.size();
  for (qsizetype i = 0; i < n; ++i) {
    const unsigned char b = data[i];
    if (b < 0x80) {
      out.append(QChar(char16_t{b}));
    } else if (b == 0x80) {
      out.append(QChar(t.euro_single));
    } else if (b == 0xFF || i + 1 >= n) {
      out.append(QChar(kReplacement));
    } else {
      const char16_t c = t.decode[(b - 0x80) * 256 + data[i + 1]];
      out.append(QChar(c));
      // A bad trail byte that is itself ASCII is kept as its own character.
      if (c == kReplacement && data[i + 1] < 0x80) continue;
      ++i;
    }
  }
  return out;
}

std::optional<QString> GbkBytesToText(QByteArrayView body) {
  const GbkTables& t = Tables();
  QString out;
  out.reserve(body.size());
  const auto* data = reinterpret_cast<const unsigned char*>(body.data());
  const qsizetype n = body.size();
  for (qsizetype i = 0; i < n; ++i) {
    const unsigned char b = data[i];
    if (b < 0x80) {
      out.append(QChar(char16_t{b}));
      continue;
    }
    if (i + 1 >= n) return std::nullopt;
    out.append(QChar(t.decode[(b - 0x80) * 256 + data[i + 1]]));
    ++i;
  }
  return out;
}

QString DecodeDeclaredCharset(QByteArrayView body, QByteArrayView content_type) {
  const QByteArray type = content_type.toByteArray().toLower();
  const qsizetype at = type.indexOf("charset=");
  QByteArray charset = at < 0 ? QByteArray() : type.mid(at + 8).split(';').first().trimmed();
  charset.replace('"', "");
  if (charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "cp936")
    return FromGbk(body);
  if (charset == "iso-8859-1" || charset == "latin1" || charset == "us-ascii")
    return QString::fromLatin1(body);
  return QString::fromUtf8(body);
}

}  // namespace ph
