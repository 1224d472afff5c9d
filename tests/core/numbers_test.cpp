#include "core/numbers.h"

#include <gtest/gtest.h>

#include <QString>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(ReadNumber, ReadsTheLongestLeadingDecimal) {
  const struct {
    QString text;
    double expected;
  } cases[] = {
      {u"67%"_s, 67},         {u""_s, 0},          {u"Nothing"_s, 0},   {u"  42"_s, 42},
      {u"1 2"_s, 12},         {u"\t-3.5e2x"_s, -350}, {u"1e"_s, 1},     {u"1e+"_s, 1},
      {u"2E3"_s, 2000},       {u"1.2.3"_s, 1.2},   {u".5"_s, 0.5},      {u"5."_s, 5},
      {u"+7"_s, 7},           {u"-"_s, 0},         {u"."_s, 0},         {u"1\n0"_s, 10},
      {u"1\r0"_s, 1},         {u"150 http/1.1"_s, 150}, {u"3天"_s, 3},  {u"x5"_s, 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(ReadNumber(c.text), c.expected) << c.text.toStdString();
}

TEST(ReadNumber, ReadsAmpersandHAsHexadecimal) {
  EXPECT_DOUBLE_EQ(ReadNumber(u"&HFF"_s), 255);
  EXPECT_DOUBLE_EQ(ReadNumber(u"&h1f"_s), 31);
  EXPECT_DOUBLE_EQ(ReadNumber(u" & H 10"_s), 16);
  EXPECT_DOUBLE_EQ(ReadNumber(u"&H"_s), 0);
  EXPECT_DOUBLE_EQ(ReadNumber(u"&X1"_s), 0);
}

TEST(ReadNumber, ByteTextsReadTheSameAsText) {
  EXPECT_DOUBLE_EQ(ReadNumber(std::string_view("37")), 37);
  EXPECT_DOUBLE_EQ(ReadNumber(std::string_view("Nothing")), 0);
  EXPECT_DOUBLE_EQ(ReadNumber(std::string_view("-12.5;")), -12.5);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(2.6), 3);
  EXPECT_DOUBLE_EQ(RoundHalfEven2(0.125), 0.12);
  EXPECT_DOUBLE_EQ(RoundHalfEven2(0.375), 0.38);
}

TEST(Rounding, FixedWidthResultsSaturate) {
  EXPECT_EQ(RoundToInt16(40000), 32767);
  EXPECT_EQ(RoundToInt16(-40000), -32768);
  EXPECT_EQ(RoundToInt16(2.5), 2);
  EXPECT_EQ(RoundToInt32(1e12), 2147483647);
  EXPECT_EQ(RoundToInt32(-3.5), -4);
}

TEST(RatioPercent, RoundsTheRatioToTwoDecimalsHalfToEven) {
  EXPECT_EQ(RatioPercent(2, 3), 67);
  EXPECT_EQ(RatioPercent(1, 3), 33);
  EXPECT_EQ(RatioPercent(1, 8), 12);
  EXPECT_EQ(RatioPercent(3, 8), 38);
  EXPECT_EQ(RatioPercent(1, 40), 2);  // 2.5% exactly: the even neighbour
  EXPECT_EQ(RatioPercent(3, 40), 8);  // 7.5%
  EXPECT_EQ(RatioPercent(3, 3), 100);
  EXPECT_EQ(RatioPercent(0, 5), 0);
  EXPECT_EQ(RatioPercent(1, 0), 0);
  EXPECT_EQ(RatioPercent(1, -1), 0);
}

}  // namespace
}  // namespace ph
