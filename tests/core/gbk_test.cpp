#include "core/gbk.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray bytes;
  for (const int v : values) bytes.append(static_cast<char>(v));
  return bytes;
}

TEST(Gbk, EncodesChineseAsDoubleBytes) {
  EXPECT_EQ(ToGbk(u"中文A"_s), Bytes({0xD6, 0xD0, 0xCE, 0xC4, 0x41}));
  EXPECT_EQ(ToGbk(u"北京"_s), Bytes({0xB1, 0xB1, 0xBE, 0xA9}));
  EXPECT_EQ(ToGbk(u""_s), QByteArray());
}

TEST(Gbk, CharactersOutsideGbkBecomeOneQuestionMark) {
  EXPECT_EQ(ToGbk(u"a\u0E01b"_s), QByteArray("a?b"));
  EXPECT_EQ(ToGbk(u"x😀y"_s), QByteArray("x?y"));  // one character, two UTF-16 units
}

TEST(Gbk, DecodesAndRoundTrips) {
  const QString text = u"测试结果 成 功|地区:北京 电信 ABC-123"_s;
  EXPECT_EQ(FromGbk(ToGbk(text)), text);
  EXPECT_EQ(FromGbk(Bytes({0xD6, 0xD0, 0x41})), u"中A"_s);
}

TEST(Gbk, FromGbkKeepsGoingOverBrokenBytes) {
  // A lone lead byte at the end and an invalid pair become replacement characters.
  EXPECT_EQ(FromGbk(Bytes({0x41, 0xB0})), u"A\uFFFD"_s);
  EXPECT_EQ(FromGbk(Bytes({0xFF, 0x41})), u"\uFFFDA"_s);
}

TEST(GbkBytesToText, ReadsEveryHighByteAsALeadByte) {
  EXPECT_EQ(GbkBytesToText(Bytes({0xD6, 0xD0, 0xCE, 0xC4, 0x41})), u"中文A"_s);
  // 0x80 starts a pair here, unlike the code page's single euro byte.
  const auto pair = GbkBytesToText(Bytes({0x80, 0x41, 0x42}));
  ASSERT_TRUE(pair.has_value());
  EXPECT_EQ(pair->size(), 2);
  EXPECT_EQ(pair->at(1), u'B');
}

TEST(GbkBytesToText, FailsOnALeadByteWithoutItsPartner) {
  EXPECT_FALSE(GbkBytesToText(Bytes({0x41, 0xB0})).has_value());
  EXPECT_EQ(GbkBytesToText(QByteArray()), QString());
}

TEST(DecodeDeclaredCharset, FollowsTheContentType) {
  const QByteArray gbk = ToGbk(u"中文"_s);
  EXPECT_EQ(DecodeDeclaredCharset(gbk, "text/html; charset=GBK"), u"中文"_s);
  EXPECT_EQ(DecodeDeclaredCharset(gbk, "text/html;charset=\"gb2312\""), u"中文"_s);
  EXPECT_EQ(DecodeDeclaredCharset(u"中文"_s.toUtf8(), "text/html"), u"中文"_s);
  EXPECT_EQ(DecodeDeclaredCharset(Bytes({0xE9}), "text/plain; charset=iso-8859-1"), u"é"_s);
}

}  // namespace
}  // namespace ph
