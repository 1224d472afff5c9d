#include "api/getip.h"

#include "core/proxy_list.h"
#include "support/list_rows.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cmath>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class GetIpTest : public ::testing::Test {
 protected:
  GetIpTest() {
    Add(u"1.1.1.1:80"_s, u"北京"_s, u"100%"_s);
    Add(u"2.2.2.2:81"_s, u"上海"_s, u"50%"_s);
    Add(u"3.3.3.3:82"_s, u"广州"_s, u""_s);
  }
  void Add(const QString& address, const QString& region, const QString& ratio) {
    const int row = list.AppendRow({address, region});
    test::SetCell(list, row, kSuccessRatio, ratio);
  }
  QString Body(int row, int count, int min_ratio, bool area = false) {
    return BuildGetIpBody(list, row, static_cast<int16_t>(count), static_cast<int16_t>(min_ratio),
                          area, random);
  }

  ProxyList list;
  std::mt19937 random{1};
};

TEST_F(GetIpTest, OneRowAllRowsAndTheRatioFilter) {
  EXPECT_EQ(Body(2, 0, 99), u"2.2.2.2:81<br/>"_s);  // one row: no ratio test
  EXPECT_EQ(Body(3, 0, 0), u"1.1.1.1:80<br/>2.2.2.2:81<br/>3.3.3.3:82<br/>"_s);  // row = n
  EXPECT_EQ(Body(0, 0, 60), u"1.1.1.1:80<br/>"_s);  // an empty ratio reads as 0
  EXPECT_EQ(Body(-4, 5, 0), u"1.1.1.1:80<br/>2.2.2.2:81<br/>3.3.3.3:82<br/>"_s);
  EXPECT_EQ(Body(1, 0, 0, true), u"1.1.1.1:80|%B1%B1%BE%A9<br/>"_s);
  list.Clear();
  for (const int row : {0, 1, 2}) EXPECT_EQ(Body(row, 2, 0), u""_s);
}

TEST_F(GetIpTest, RandomDrawsNeverRepeatARowAndKeepTheFilter) {
  for (int i = 0; i < 200; ++i) {
    const QStringList lines = Body(0, 2, 0).split(u"<br/>"_s, Qt::SkipEmptyParts);
    EXPECT_LE(lines.size(), 2);
    EXPECT_EQ(QSet<QString>(lines.begin(), lines.end()).size(), lines.size());
    for (const QString& line : Body(0, 2, 60).split(u"<br/>"_s, Qt::SkipEmptyParts))
      EXPECT_EQ(line, u"1.1.1.1:80"_s);
  }
}

TEST(RandomIndex, DrawsUniformlyWithinTheRange) {
  std::mt19937 random(2026);
  constexpr int kRows = 10;
  constexpr int kDraws = 100000;
  std::vector<int> seen(kRows + 1);
  for (int i = 0; i < kDraws; ++i) {
    const int k = RandomIndex(kRows + 1, 1, kRows, random);
    ASSERT_GE(k, 1);
    ASSERT_LE(k, kRows);
    ++seen[static_cast<std::size_t>(k)];
  }
  // Chi-square with 9 degrees of freedom; 27.9 is its 0.1% point.
  double chi = 0;
  const double expected = static_cast<double>(kDraws) / kRows;
  for (int k = 1; k <= kRows; ++k)
    chi += std::pow(seen[static_cast<std::size_t>(k)] - expected, 2) / expected;
  EXPECT_LT(chi, 27.9);
  for (int i = 0; i < 100; ++i) {
    const int any = RandomIndex(5, 3, 1, random);  // no range: 0 to max - 1
    EXPECT_GE(any, 0);
    EXPECT_LT(any, 5);
  }
  EXPECT_EQ(RandomIndex(0, 1, 1, random), 0);
}

TEST(BuildGetIpBody, ARandomDrawOf100FromALargeListIsEachRowAtMostOnce) {
  ProxyList list;
  std::vector<NewRow> rows(100000);
  for (int i = 0; i < 100000; ++i)
    rows[static_cast<std::size_t>(i)][0] = u"10.0.%1.%2:1"_s.arg(i / 256).arg(i % 256);
  list.AppendRows(rows);
  std::mt19937 random(7);
  const QStringList lines =
      BuildGetIpBody(list, 0, 100, 0, false, random).split(u"<br/>"_s, Qt::SkipEmptyParts);
  EXPECT_GE(lines.size(), 95);
  EXPECT_EQ(QSet<QString>(lines.begin(), lines.end()).size(), lines.size());
}

}  // namespace
}  // namespace ph
