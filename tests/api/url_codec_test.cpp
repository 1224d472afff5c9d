#include "api/url_codec.h"

#include "core/gbk.h"

#include <gtest/gtest.h>

#include <random>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(UrlEncode, EscapesGbkBytesReservedCharactersAndBlanks) {
  const std::pair<QString, QString> cases[] = {
      {u""_s, u""_s},
      {u"北京"_s, u"%B1%B1%BE%A9"_s},
      {u"a b"_s, u"a+b"_s},
      {u"100%"_s, u"100%25"_s},
      {u"x=1&y"_s, u"x%3D1%26y"_s},
      {u"-._~"_s, u"-._%7E"_s},
      {u"http://h.test/p?q=1"_s, u"http%3A%2F%2Fh.test%2Fp%3Fq%3D1"_s},
      {u"☃"_s, u"%3F"_s},                // outside GBK
      {u"😀a"_s, u"%3Fa"_s},              // outside GBK and the first plane
      {u"\t1\u007f"_s, u"\t1\u007f"_s},  // control characters stay
  };
  for (const auto& [text, encoded] : cases)
    EXPECT_EQ(UrlEncode(text), encoded) << text.toStdString();
}

TEST(UrlDecode, ReadsEscapesAsGbkBytesTheLenientWay) {
  const std::pair<QString, QString> cases[] = {
      {u"a%20b"_s, u"a b"_s},
      {u"%D6%D0%CE%C4"_s, u"中文"_s},
      {u"a+b%2B"_s, u"a b+"_s},
      {u"%4"_s, u"4"_s},
      {u"x%%41"_s, u"xA"_s},
      {u"%zz"_s, QString(QChar(0))},
      {u"%4g7"_s, u"\u00047"_s},     // "4g" reads 4; the rest is copied
      {u"中文+字"_s, u"中文 字"_s},  // no escape: the text as it is
      {u"%26"_s, u"&"_s},
      // Failures.
      {u"中%41"_s, u""_s},
      {u"%"_s, u""_s},
      {u"%%"_s, u""_s},
  };
  for (const auto& [text, decoded] : cases)
    EXPECT_EQ(UrlDecode(text), decoded) << text.toStdString();
  EXPECT_EQ(UrlDecode(u"%41"_s.repeated(1000000)), u""_s);  // more than 999,999 bytes
  EXPECT_EQ(UrlDecode(u"%41"_s.repeated(999999)).size(), 999999);
}

TEST(UrlCodec, DecodingAnEncodedGbkTextGivesItBack) {
  // Random texts of characters GBK holds: ASCII, blanks, "+", "%", and Chinese.
  std::mt19937 random(42);
  QString pool = u" +%&=?#/:abcXYZ019-._~\t"_s;
  for (char16_t c = 0x4E00; c < 0x4E00 + 2000; ++c) {
    if (FromGbk(ToGbk(QString(QChar(c)))) == QString(QChar(c))) pool += QChar(c);
  }
  for (int i = 0; i < 500; ++i) {
    QString text;
    const int length = static_cast<int>(random() % 40);
    for (int j = 0; j < length; ++j) text += pool[static_cast<qsizetype>(random() % pool.size())];
    ASSERT_EQ(UrlDecode(UrlEncode(text)), text) << text.toStdString();
  }
}

}  // namespace
}  // namespace ph
