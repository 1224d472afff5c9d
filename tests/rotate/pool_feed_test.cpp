#include "rotate/pool_feed.h"

#include "core/literals.h"
#include "rotate/rotating_proxy.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Writes cells as a validation run does: in place, then one notification for the row.
void Write(ProxyList& list, int row, int cell, const QString& text) {
  list.EntryForWrite(row).SetCell(cell, text);
  list.NotifyRowsChanged(row, row);
}

// The addresses of the proxy's current pool, in row order.
std::vector<uint16_t> PoolPorts(const RotatingProxy& proxy) {
  std::vector<uint16_t> ports;
  for (const Upstream& upstream : proxy.CurrentPool()->Upstreams()) ports.push_back(upstream.port);
  return ports;
}

TEST(PoolFeedTest, ThePoolFollowsTheListWithoutARestart) {
  ProxyList list;
  RotatingProxy proxy;
  double minimum = 50;
  constexpr int kDebounceMs = 50;
  PoolFeed feed(
      list, proxy, [&] { return minimum; }, nullptr, kDebounceMs);
  const auto pool_is = [&](std::vector<uint16_t> ports) {
    return test::WaitFor([&] { return PoolPorts(proxy) == ports; }, 5000);
  };

  // Harvested rows wait for their validation.
  list.AppendRows({{u"1.1.1.1:81"_s}, {u"socks5://2.2.2.2:82"_s}, {u"3.3.3.3:83"_s}});
  list.AppendRow(test::ValidatedRow(u"4.4.4.4:84"_s));
  EXPECT_TRUE(pool_is({84}));

  // A validation run writes its results.
  const NewRow validated = test::ValidatedRow(u""_s);
  for (const int row : {1, 2}) {
    for (int cell = kProxyType; cell < kCellCount; ++cell)
      Write(list, row, cell, validated[static_cast<std::size_t>(cell - 1)]);
  }
  EXPECT_TRUE(pool_is({81, 82, 84}));
  Write(list, 2, kTestResult, kFailureText);
  EXPECT_TRUE(pool_is({81, 84}));

  // Removals, and a success ratio below the minimum.
  list.RemoveRows({true, false, false, false});
  EXPECT_TRUE(pool_is({84}));
  Write(list, 3, kSuccessRatio, u"40%"_s);
  EXPECT_TRUE(pool_is({}));
  // The minimum changed: rebuilt at once.
  minimum = 30;
  feed.Refresh();
  EXPECT_EQ(PoolPorts(proxy), (std::vector<uint16_t>{84}));
  list.Clear();
  EXPECT_TRUE(pool_is({}));

  // Selection changes alone do not rebuild it.
  list.AppendRow(test::ValidatedRow(u"5.5.5.5:85"_s));
  EXPECT_TRUE(pool_is({85}));
  // A feed made over a list that has rows gives their pool at once.
  RotatingProxy other;
  const PoolFeed at_once(list, other, [] { return 0.0; });
  EXPECT_EQ(PoolPorts(other), (std::vector<uint16_t>{85}));
  const std::shared_ptr<const Pool> kept = proxy.CurrentPool();
  list.SetAllSelected(true);
  list.SetSelected(1, false);
  test::WaitFor([] { return false; }, 4 * kDebounceMs);
  EXPECT_EQ(proxy.CurrentPool(), kept);
}

}  // namespace
}  // namespace ph
