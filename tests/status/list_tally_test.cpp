#include "status/list_tally.h"

#include "core/literals.h"
#include "core/proxy_list.h"
#include "support/list_rows.h"
#include "validate/result_record.h"

#include <gtest/gtest.h>

#include <random>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Level = ListTally::Level;
using Protocol = ListTally::Protocol;
using State = ListTally::State;

NewRow Row(const QString& address, const QString& region, const QString& type,
           const QString& result) {
  NewRow row;
  row[kAddress - 1] = address;
  row[kRegion - 1] = region;
  row[kProxyType - 1] = type;
  row[kTestResult - 1] = result;
  return row;
}

// Every count of a tally that followed the list, next to those of one made over it now.
void ExpectSameAsFresh(const ListTally& followed, const ProxyList& list, const char* step) {
  const ListTally fresh(list);
  SCOPED_TRACE(step);
  EXPECT_EQ(followed.Rows(), list.RowCount());
  for (const State state : {State::kWorking, State::kFailed, State::kUntested})
    EXPECT_EQ(followed.Count(state), fresh.Count(state)) << ListTally::Name(state);
  for (const Protocol protocol : {Protocol::kHttp, Protocol::kSocks4, Protocol::kSocks5})
    EXPECT_EQ(followed.Count(protocol), fresh.Count(protocol)) << ListTally::Name(protocol);
  for (const Level level : {Level::kElite, Level::kAnonymous, Level::kTransparent, Level::kUnknown})
    EXPECT_EQ(followed.Count(level), fresh.Count(level)) << ListTally::Name(level);
  const auto top = followed.TopRegions(1000);
  const auto fresh_top = fresh.TopRegions(1000);
  ASSERT_EQ(top.size(), fresh_top.size());
  for (std::size_t i = 0; i < top.size(); ++i) {
    EXPECT_EQ(top[i].region, fresh_top[i].region);
    EXPECT_EQ(top[i].rows, fresh_top[i].rows);
  }
  EXPECT_EQ(followed.RegionCountTotal(), fresh.RegionCountTotal());
}

struct KindCase {
  const char* name;
  QString address;
  QString type;
  QString result;
  Protocol protocol;
  Level level;
  State state;
};

TEST(ListTally, EachRowCountsByItsAddressTypeAndResult) {
  const KindCase cases[] = {
      {"plain http", u"1.2.3.4:80"_s, u"高匿"_s, kSuccessText, Protocol::kHttp, Level::kElite,
       State::kWorking},
      {"socks5", u"socks5://1.2.3.4:1080"_s, u"普通匿名"_s, kFailureText, Protocol::kSocks5,
       Level::kAnonymous, State::kFailed},
      {"socks4",
       u"socks4://1.2.3.4:1080"_s,
       u"透明"_s,
       {},
       Protocol::kSocks4,
       Level::kTransparent,
       State::kUntested},
      {"the list site's transparent",
       u"1.2.3.4:80"_s,
       u"透明(普通)"_s,
       {},
       Protocol::kHttp,
       Level::kTransparent,
       State::kUntested},
      {"an unknown type and a result being written", u"1.2.3.4:80"_s, u"HTTPS"_s, u"..."_s,
       Protocol::kHttp, Level::kUnknown, State::kUntested},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProxyList list;
    list.AppendRow(Row(c.address, u"某地"_s, c.type, c.result));
    const ListTally tally(list);
    EXPECT_EQ(tally.Count(c.protocol), 1);
    EXPECT_EQ(tally.Count(c.level), 1);
    EXPECT_EQ(tally.Count(c.state), 1);
  }
}

TEST(ListTally, FollowsAppendsResultsRemovalsAndClears) {
  ProxyList list;
  ListTally tally(list);
  list.AppendRows(test::ValidatedRows(6, 6, u"北京 电信"_s));
  list.AppendRow(Row(u"socks5://9.9.9.9:1080"_s, u"美国"_s, {}, {}));
  EXPECT_EQ(tally.Rows(), 7);
  EXPECT_EQ(tally.Count(State::kWorking), 6);
  EXPECT_EQ(tally.Count(Protocol::kSocks5), 1);
  ASSERT_EQ(tally.TopRegions(10).size(), 2U);
  EXPECT_EQ(tally.TopRegions(10)[0].region, u"北京 电信"_s);
  EXPECT_EQ(tally.TopRegions(10)[0].rows, 6);

  // A run starts: the result cells are emptied; then a failure comes in for row 2.
  list.FillCells({1, 2, 3}, kTestResult, kTestedAt);
  EXPECT_EQ(tally.Count(State::kWorking), 3);
  EXPECT_EQ(tally.Count(State::kUntested), 4);
  ApplyResultRecords(list, WriteResultRecord(static_cast<int64_t>(list.IdOf(2)),
                                             {0, false, false, 0, 5000, true, "连接超时", 28, {}}));
  EXPECT_EQ(tally.Count(State::kFailed), 1);

  test::RemoveRow(list, 7);
  EXPECT_EQ(tally.Count(Protocol::kSocks5), 0);
  EXPECT_EQ(tally.TopRegions(10).size(), 1U);
  list.SetAllSelected(true);  // a selection changes no count
  ExpectSameAsFresh(tally, list, "after the removal");
  list.Clear();
  EXPECT_EQ(tally.Rows(), 0);
  EXPECT_TRUE(tally.TopRegions(10).empty());
}

TEST(ListTally, TheTopRegionsAreTheLargestAndTiesGoByText) {
  ProxyList list;
  ListTally tally(list);
  std::vector<NewRow> rows;
  for (int i = 0; i < 12; ++i)
    for (int n = 0; n <= i; ++n)
      rows.push_back(Row(u"1.1.%1.%2:80"_s.arg(i).arg(n), u"地区%1"_s.arg(i % 11), {}, {}));
  rows.push_back(Row(u"2.2.2.2:80"_s, {}, {}, {}));
  list.AppendRows(rows);
  const auto top = tally.TopRegions(10);
  ASSERT_EQ(top.size(), 10U);
  EXPECT_EQ(top[0].region, u"地区0"_s);  // 1 + 12 rows
  EXPECT_EQ(top[0].rows, 13);
  EXPECT_EQ(top[1].region, u"地区10"_s);
  EXPECT_EQ(tally.RegionCountTotal(), 12);  // the empty region counts as one
}

// Random edits of every kind the list knows, each followed by the counts a fresh tally finds.
TEST(ListTally, ManyRandomEditsLeaveTheSameCountsAsAFreshLook) {
  std::mt19937 random(7);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const QString addresses[] = {u"1.1.1.1:80"_s, u"socks4://2.2.2.2:1080"_s,
                               u"socks5://3.3.3.3:1080"_s};
  const QString types[] = {{}, u"高匿"_s, u"普通匿名"_s, u"透明"_s};
  const QString results[] = {{}, kSuccessText, kFailureText};
  ProxyList list;
  ListTally tally(list);
  const auto random_row = [&] {
    return Row(addresses[pick(3)], u"地区%1"_s.arg(pick(30)), types[pick(4)], results[pick(3)]);
  };
  for (int step = 0; step < 300; ++step) {
    switch (pick(6)) {
      case 0: {
        std::vector<NewRow> rows(static_cast<std::size_t>(1 + pick(40)));
        for (NewRow& row : rows) row = random_row();
        list.AppendRows(rows);
        break;
      }
      case 1: {  // a few runs, or (past 64 runs) one reset
        std::vector<bool> remove(static_cast<std::size_t>(list.RowCount()));
        const int odds = pick(2) == 0 ? 10 : 2;
        for (std::size_t i = 0; i < remove.size(); ++i) remove[i] = pick(odds) == 0;
        list.RemoveRows(remove);
        break;
      }
      case 2:
        if (list.RowCount() > 0) {
          const int row = 1 + pick(list.RowCount());
          test::SetCell(list, row, kRegion + pick(3),
                        pick(2) ? u"地区%1"_s.arg(pick(30)) : QString());
        }
        break;
      case 3:
        if (list.RowCount() > 0) {
          std::vector<int> rows;
          for (int row = 1; row <= list.RowCount(); row += 1 + pick(5)) rows.push_back(row);
          list.FillCells(rows, kTestResult, kTestedAt, pick(2) ? kSuccessText : QString());
        }
        break;
      case 4:
        if (pick(10) == 0) list.Clear();
        break;
      default:
        if (list.RowCount() > 0) list.SetSelected(1 + pick(list.RowCount()), true);
        list.RenumberIndex();
    }
    ExpectSameAsFresh(tally, list, "after a random edit");
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace ph
