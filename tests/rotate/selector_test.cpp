#include "rotate/selector.h"

#include "rotate/pool_rows.h"
#include "support/list_rows.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

Upstream Member(RowId row, int elapsed_ms, Anonymity anonymity = Anonymity::kElite,
                UpstreamProtocol protocol = UpstreamProtocol::kHttp, const QString& region = {}) {
  Upstream upstream;
  upstream.row = row;
  upstream.protocol = protocol;
  upstream.ip = 0x7F000001;
  upstream.port = static_cast<uint16_t>(8000 + row);
  upstream.elapsed_ms = elapsed_ms;
  upstream.anonymity = anonymity;
  upstream.region = region;
  return upstream;
}

class SelectorTest : public ::testing::Test {
 protected:
  SelectorTest() : selector(7) {
    selector.SetPool(std::make_shared<Pool>(std::vector<Upstream>{
        Member(1, 300, Anonymity::kTransparent), Member(2, 100, Anonymity::kElite),
        Member(3, 200, Anonymity::kAnonymous, UpstreamProtocol::kSocks5, u"北京 电信"_s),
        Member(4, 50, Anonymity::kElite, UpstreamProtocol::kSocks4, u"上海 联通"_s)}));
  }
  RowId Pick(const SelectionOptions& options = {}, std::vector<RowId> tried = {}, bool ipv6 = false,
             std::string_view client = "c1") {
    const std::optional<Chosen> chosen = selector.Pick({options, client, ipv6, tried}, now);
    return chosen ? chosen->row : 0;
  }
  void Configure(Strategy strategy, BreakerOptions breaker = {}) {
    selector.Configure(strategy, breaker, 600000);
  }

  Selector selector;
  int64_t now = 1000;
};

TEST_F(SelectorTest, EachStrategyPicksItsWay) {
  Configure(Strategy::kRoundRobin);
  std::vector<RowId> round;
  for (int i = 0; i < 8; ++i) round.push_back(Pick());
  EXPECT_EQ(round, (std::vector<RowId>{1, 2, 3, 4, 1, 2, 3, 4}));

  Configure(Strategy::kFastest);
  EXPECT_EQ(Pick(), 4u);
  EXPECT_EQ(Pick({}, {4}), 2u);  // a retry takes the next fastest

  Configure(Strategy::kRandom);
  std::set<RowId> seen;
  for (int i = 0; i < 200; ++i) seen.insert(Pick());
  EXPECT_EQ(seen, (std::set<RowId>{1, 2, 3, 4}));

  // Sticky: each client address keeps what it got first.
  Configure(Strategy::kSticky);
  const RowId first = Pick({}, {}, false, "c1");
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Pick({}, {}, false, "c1"), first);
}

TEST_F(SelectorTest, OptionsFilterAndTriedRowsAreLeftOut) {
  Configure(Strategy::kRandom);
  for (int i = 0; i < 50; ++i) {
    const RowId elite = Pick(ReadUserOptions("anon-elite"));
    EXPECT_TRUE(elite == 2 || elite == 4) << elite;
    const RowId anonymous = Pick(ReadUserOptions("anon-anonymous"));
    EXPECT_NE(anonymous, 1u);
    EXPECT_EQ(Pick(ReadUserOptions("proto-socks5")), 3u);
    EXPECT_EQ(Pick(ReadUserOptions("region-上海")), 4u);
    EXPECT_EQ(Pick({}, {1, 2, 3}), 4u);
    // SOCKS4 cannot reach an IPv6 target.
    EXPECT_NE(Pick({}, {}, true), 4u);
  }
  EXPECT_EQ(Pick(ReadUserOptions("region-广州")), 0u);
  EXPECT_EQ(Pick({}, {1, 2, 3, 4}), 0u);
  EXPECT_EQ(Pick(ReadUserOptions("proto-socks4"), {}, true), 0u);
}

TEST_F(SelectorTest, ASessionKeepsItsUpstreamWhileItWorksAndForItsTime) {
  Configure(Strategy::kRoundRobin);
  const SelectionOptions seven = ReadUserOptions("session-7");
  const RowId kept = Pick(seven);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Pick(seven), kept);
    Pick(ReadUserOptions("session-8"));  // another session moves the round on
  }
  // A retry of the session leaves its upstream and the session follows the new one.
  const RowId moved = Pick(seven, {kept});
  EXPECT_NE(moved, kept);
  EXPECT_EQ(Pick(seven), moved);
  // Ten minutes on it may move.
  now += 600001;
  std::set<RowId> later;
  for (int i = 0; i < 4; ++i) {
    later.insert(Pick(seven));
    now += 600001;
  }
  EXPECT_GT(later.size(), 1u);
  // A session whose upstream left the pool picks anew.
  selector.SetPool(std::make_shared<Pool>(std::vector<Upstream>{Member(9, 10)}));
  EXPECT_EQ(Pick(seven), 9u);
}

TEST_F(SelectorTest, BreakerOpensAfterFaultsInARowAndATrialClosesIt) {
  Configure(Strategy::kFastest, {3, 1000, 4000});
  const auto fault = [&] { selector.Faulted(*selector.Pick({{}, "", false, {}}, now), now); };
  fault();
  fault();
  selector.Succeeded(4);  // a success in between: the count starts again
  fault();
  fault();
  EXPECT_EQ(Pick(), 4u);
  fault();
  EXPECT_TRUE(selector.BreakerOpen(4, now));
  EXPECT_EQ(Pick(), 2u);  // out for 1 s

  // Half open: one trial; while it is under way the others keep going elsewhere.
  now += 1000;
  std::optional<Chosen> trial = selector.Pick({{}, "", false, {}}, now);
  ASSERT_TRUE(trial);
  EXPECT_EQ(trial->row, 4u);
  EXPECT_TRUE(trial->trial);
  EXPECT_EQ(Pick(), 2u);
  // A failed trial doubles the time out.
  selector.Faulted(*trial, now);
  now += 1999;
  EXPECT_EQ(Pick(), 2u);
  now += 1;
  trial = selector.Pick({{}, "", false, {}}, now);
  EXPECT_EQ(trial->row, 4u);
  // A trial that ended without a word may be made again.
  selector.Released(*trial);
  trial = selector.Pick({{}, "", false, {}}, now);
  EXPECT_EQ(trial->row, 4u);
  selector.Succeeded(4);
  EXPECT_FALSE(selector.BreakerOpen(4, now));
  EXPECT_EQ(Pick(), 4u);
}

TEST_F(SelectorTest, BreakerTimeDoublesUpToItsCeiling) {
  Configure(Strategy::kFastest, {1, 1000, 3000});
  selector.Faulted(*selector.Pick({{}, "", false, {}}, now), now);
  for (const int64_t open_ms : {2000, 3000, 3000}) {
    now += 10000;
    const std::optional<Chosen> trial = selector.Pick({{}, "", false, {}}, now);
    ASSERT_TRUE(trial && trial->trial);
    selector.Faulted(*trial, now);
    EXPECT_TRUE(selector.BreakerOpen(4, now + open_ms - 1)) << open_ms;
    EXPECT_FALSE(selector.BreakerOpen(4, now + open_ms)) << open_ms;
  }
}

TEST(PoolRowsTest, AddressesProtocolsAndLevels) {
  struct Case {
    QString address;
    bool read = false;
    UpstreamProtocol protocol = UpstreamProtocol::kHttp;
    uint16_t port = 0;
  };
  const Case cases[] = {
      {u"1.2.3.4:8080"_s, true, UpstreamProtocol::kHttp, 8080},
      {u"socks5://1.2.3.4:1080"_s, true, UpstreamProtocol::kSocks5, 1080},
      {u"SOCKS4://1.2.3.4:1080"_s, true, UpstreamProtocol::kSocks4, 1080},
      {u"http://1.2.3.4:3128"_s, true, UpstreamProtocol::kHttp, 3128},
      {u" 1.2.3.4:80 "_s, true, UpstreamProtocol::kHttp, 80},
      {u"ftp://1.2.3.4:21"_s, false},
      {u"1.2.3.4"_s, false},
      {u"1.2.3.4:0"_s, false},
      {u"1.2.3.4:65536"_s, false},
      {u"1.2.3.4:80x"_s, false},
      {u"example.test:80"_s, false},
      {u"１.2.3.4:80"_s, false},
      {u""_s, false},
  };
  for (const Case& c : cases) {
    const std::optional<Upstream> upstream = ReadUpstreamAddress(c.address);
    ASSERT_EQ(upstream.has_value(), c.read) << c.address.toStdString();
    if (!upstream) continue;
    EXPECT_EQ(upstream->protocol, c.protocol);
    EXPECT_EQ(upstream->ip, 0x01020304u);
    EXPECT_EQ(upstream->port, c.port);
  }
  EXPECT_EQ(ReadAnonymity(u"高匿"_s), Anonymity::kElite);
  EXPECT_EQ(ReadAnonymity(u"普通匿名"_s), Anonymity::kAnonymous);
  EXPECT_EQ(ReadAnonymity(u"透明(普通)"_s), Anonymity::kTransparent);
  EXPECT_EQ(ReadAnonymity(u""_s), Anonymity::kUnknown);
}

TEST(PoolRowsTest, OnlyRowsWhoseLastValidationSucceededWithEnoughSuccess) {
  ProxyList list;
  list.AppendRow(test::ValidatedRow(u"1.1.1.1:80"_s));  // 75%
  NewRow failed = test::ValidatedRow(u"2.2.2.2:80"_s);
  failed[kTestResult - 1] = u"失 败"_s;
  list.AppendRow(failed);
  NewRow weak = test::ValidatedRow(u"socks5://3.3.3.3:1080"_s, u"上海"_s);
  weak[kSuccessRatio - 1] = u"40%"_s;
  weak[kElapsedMs - 1] = u""_s;
  list.AppendRow(weak);
  list.AppendRow(test::ValidatedRow(u"not an address"_s));
  list.AppendRow({u"4.4.4.4:80"_s});  // never validated

  const Pool all = PoolFromList(list, 0);
  ASSERT_EQ(all.Size(), 2u);
  EXPECT_EQ(all.Upstreams()[0].row, list.IdOf(1));
  EXPECT_EQ(all.Upstreams()[0].elapsed_ms, 321);
  EXPECT_EQ(all.Upstreams()[0].anonymity, Anonymity::kElite);
  EXPECT_EQ(all.Upstreams()[0].region, u"北京 电信"_s);
  EXPECT_EQ(all.Upstreams()[1].protocol, UpstreamProtocol::kSocks5);
  EXPECT_EQ(all.Fastest().back(), 1u);  // no 耗时: last
  EXPECT_EQ(all.Find(list.IdOf(3)), 1);
  EXPECT_EQ(all.Find(list.IdOf(2)), -1);
  EXPECT_EQ(PoolFromList(list, 50).Size(), 1u);
  EXPECT_EQ(PoolFromList(list, 75).Size(), 1u);
  EXPECT_EQ(PoolFromList(list, 76).Size(), 0u);
}

}  // namespace
}  // namespace ph
