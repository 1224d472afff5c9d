#include "web/text_helpers.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(TextBetween, CutsBetweenTheFirstMarkers) {
  EXPECT_EQ(TextBetween(u"<td>1.2.3.4</td><td>80</td>"_s, u"<td>"_s, u"</td>"_s), u"1.2.3.4"_s);
  EXPECT_EQ(TextBetween(u"a<b></b>"_s, u"<b>"_s, u"</b>"_s), u""_s);
  EXPECT_EQ(TextBetween(u"x=1;y=2;"_s, u"y="_s, u";"_s), u"2"_s);
}

TEST(TextBetween, GivesNothingWhenAMarkerIsMissing) {
  EXPECT_EQ(TextBetween(u"<TD>1</TD>"_s, u"<td>"_s, u"</td>"_s), kNothing);  // case-sensitive
  EXPECT_EQ(TextBetween(u"<td>1.2.3.4"_s, u"<td>"_s, u"</td>"_s), kNothing);
  EXPECT_EQ(TextBetween(u"</td><td>1"_s, u"<td>"_s, u"</td>"_s), kNothing);  // end only before
  EXPECT_EQ(TextBetween(u""_s, u"a"_s, u"b"_s), kNothing);
}

TEST(TextBetweenAfter, SearchesTheStartMarkerAfterTheAnchor) {
  const QString row = u"<td>x</td><td><a href=\"/p/1\">北京</a></td>"_s;
  EXPECT_EQ(TextBetweenAfter(row, u"<a href="_s, u">"_s, u"<"_s), u"北京"_s);
  EXPECT_EQ(TextBetweenAfter(u"a[1]b[2]"_s, u"b"_s, u"["_s, u"]"_s), u"2"_s);
  EXPECT_EQ(TextBetweenAfter(u"ab><"_s, u"ab"_s, u">"_s, u"<"_s), u""_s);
}

TEST(TextBetweenAfter, GivesNothingWhenAnythingIsMissing) {
  EXPECT_EQ(TextBetweenAfter(u"<b>1</b>"_s, u"<a"_s, u"<b>"_s, u"</b>"_s), kNothing);
  EXPECT_EQ(TextBetweenAfter(u"<b>1</b><a"_s, u"<a"_s, u"<b>"_s, u"</b>"_s), kNothing);
  EXPECT_EQ(TextBetweenAfter(u"<a><b>1"_s, u"<a>"_s, u"<b>"_s, u"</b>"_s), kNothing);
}

}  // namespace
}  // namespace ph
