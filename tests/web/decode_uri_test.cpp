#include "web/decode_uri.h"

#include "core/literals.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct Case {
  QString text;
  QString expected;
};

TEST(DecodeUri, ResolvesStringEscapesThenPercentEscapes) {
  const Case cases[] = {
      {u"%E4%B8%AD"_s, u"中"_s},
      {u"\\u4e2d"_s, u"中"_s},
      {u"\\ud83d\\ude00"_s, u"😀"_s},
      {u"\\u{1F600}"_s, u"😀"_s},
      {u"%F0%9F%98%80"_s, u"😀"_s},
      {u"\\x41\\x25\\x34\\x31"_s, u"AA"_s},  // an escaped "%41" is still decoded
      {u"a\\\nb"_s, u"ab"_s},                // line continuation
      {u"a\\\r\nb"_s, u"ab"_s},
      {u"\\101\\0\\08\\8\\400\\777"_s, u"A\u0000\u000088 0?7"_s},
      {u"\\q\\'\\\"\\\\"_s, u"q'\"\\"_s},
      {u"\\r\\n\\t\\b\\f\\v"_s, u"\r\n\t\b\f\v"_s},
      {u"\\u2028x"_s, u"\u2028x"_s},
      {u"{\"city\":\"\\u5317\\u4eac\"}"_s, u"{\"city\":\"北京\"}"_s},
      {u""_s, u""_s},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeUri(c.text), c.expected) << c.text.toStdString();
}

TEST(DecodeUri, LeavesReservedCharactersAndHashEncoded) {
  EXPECT_EQ(DecodeUri(u"%3B"_s), u"%3B"_s);
  EXPECT_EQ(DecodeUri(u"%e4%b8%ad%23%41%2f"_s), u"中%23A%2f"_s);
  EXPECT_EQ(DecodeUri(u"%2B+%20"_s), u"%2B+ "_s);  // "+" is not a space
  EXPECT_EQ(DecodeUri(u"%3b%2F%3F%3A%40%26%3D%24%2C"_s), u"%3b%2F%3F%3A%40%26%3D%24%2C"_s);
}

TEST(DecodeUri, GivesNothingForWhatJavaScriptWouldReject) {
  const QString rejected[] = {
      u"a'b"_s,         u"a\nb"_s,      u"a\rb"_s, u"abc\\"_s, u"\\x4"_s,   u"\\u12"_s,
      u"\\u{110000}"_s, u"\\u{}"_s,     u"%"_s,    u"%zz"_s,   u"%C0%80"_s, u"%ED%A0%80"_s,
      u"%E4%B8"_s,      u"%E4%41%AD"_s, u"%FF"_s,  u"%80"_s,   u"%4"_s,     u"100%"_s,
  };
  for (const QString& text : rejected) EXPECT_EQ(DecodeUri(text), kNothing) << text.toStdString();
}

}  // namespace
}  // namespace ph
