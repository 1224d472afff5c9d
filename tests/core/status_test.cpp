#include "core/status.h"

#include "core/proxy_list.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <limits>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(Status, TheRowCountFollowsEveryChangeOfTheList) {
  ProxyList list;
  Status status(list);
  QSignalSpy rows(&status, &Status::RowsChanged);
  list.AppendRow({u"1.1.1.1:80"_s});
  list.AppendRows(std::vector<NewRow>(3, NewRow{u"2.2.2.2:80"_s}));
  EXPECT_EQ(status.Rows(), 4);
  list.RemoveRows({false, true, true});
  EXPECT_EQ(status.Rows(), 2);
  list.Clear();
  EXPECT_EQ(status.Rows(), 0);
  list.Clear();  // no change, no signal
  ASSERT_EQ(rows.count(), 4);
  EXPECT_EQ(rows.last().at(0).toInt(), 0);
}

TEST(Status, CountsSaturateAndOnlyChangesAreSignalled) {
  ProxyList list;
  Status status(list);
  QSignalSpy successes(&status, &Status::SuccessesChanged);
  status.AddSuccesses(0);
  status.AddSuccesses(-3);
  status.SetSuccesses(std::numeric_limits<int>::max() - 1);
  status.AddSuccesses(5);
  EXPECT_EQ(status.Successes(), std::numeric_limits<int>::max());
  EXPECT_EQ(successes.count(), 2);
  QSignalSpy texts(&status, &Status::TextChanged);
  status.SetText(u"a"_s);
  status.SetText(u"a"_s);  // a repeated message is still a message
  EXPECT_EQ(texts.count(), 2);
}

}  // namespace
}  // namespace ph
