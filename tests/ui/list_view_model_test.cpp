#include "ui/list_view_model.h"

#include "core/proxy_list.h"
#include "support/list_rows.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>

#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The list rows the view shows, in view order.
std::vector<int> ShownRows(const ListViewModel& rows) {
  std::vector<int> shown;
  for (int row = 1; row <= rows.Shown(); ++row) shown.push_back(rows.ListRow(row));
  return shown;
}

// A list whose rows hold the texts in one column (and an address each, 10.0.0.<row>:80).
void Fill(ProxyList& list, int column, const std::vector<QString>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    NewRow row{u"10.0.0.%1:80"_s.arg(i + 1)};
    row[static_cast<std::size_t>(column - 1)] = texts[i];
    list.AppendRow(row);
  }
}

struct SortCase {
  const char* what;
  int column;
  std::vector<QString> texts;
  std::vector<int> ascending;   // list rows
  std::vector<int> descending;  // rows without a value stay last
};
void PrintTo(const SortCase& c, std::ostream* out) { *out << c.what; }

class SortedView : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortedView, OrdersByTheColumnsValues) {
  const SortCase& c = GetParam();
  ProxyList list;
  ListViewModel rows(list);
  QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::Fatal);
  Fill(list, c.column, c.texts);
  rows.SortBy(c.column, Qt::AscendingOrder);
  EXPECT_EQ(ShownRows(rows), c.ascending);
  rows.SortBy(c.column, Qt::DescendingOrder);
  EXPECT_EQ(ShownRows(rows), c.descending);
  rows.SortBy(-1, Qt::AscendingOrder);
  EXPECT_EQ(ShownRows(rows), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(rows.ShowsTheListAsItIs());
}

INSTANTIATE_TEST_SUITE_P(
    Columns, SortedView,
    ::testing::Values(SortCase{"elapsed ms as numbers",
                               kElapsedMs,
                               {u"900"_s, u"85"_s, u"1200"_s, u""_s, u"7"_s},
                               {5, 2, 1, 3, 4},
                               {3, 1, 2, 5, 4}},
                      SortCase{"success ratio as numbers",
                               kSuccessRatio,
                               {u"100%"_s, u"9%"_s, u"50%"_s, u""_s, u"0%"_s},
                               {5, 2, 3, 1, 4},
                               {1, 3, 2, 5, 4}},
                      SortCase{"test counts, equal ones in list order",
                               kTestCount,
                               {u"10"_s, u"9"_s, u"10"_s, u"100"_s, u"Nothing"_s},
                               {2, 1, 3, 4, 5},
                               {4, 1, 3, 2, 5}},
                      SortCase{"record times as dates",
                               kTestedAt,
                               {u"12-07 14:02:00"_s, u"01-15 00:00:00"_s, u"12-07 04:22:19"_s,
                                u"11-30 23:59:59"_s, u""_s},
                               {2, 4, 3, 1, 5},
                               {1, 3, 4, 2, 5}},
                      SortCase{"first-validation times as dates",
                               kFirstTestedAt,
                               {u"2026/12/7 4:22:19"_s, u"2026/2/17 14:00:00"_s,
                                u"2025/12/31 23:59:59"_s, u"2026/12/7 10:00:00"_s,
                                u"2026-01-05T08:00:00"_s},
                               {3, 5, 2, 1, 4},
                               {4, 1, 2, 5, 3}},
                      SortCase{"addresses by address and port",
                               kAddress,
                               {u"10.0.0.2:80"_s, u"9.255.0.1:8080"_s, u"socks5://10.0.0.2:1080"_s,
                                u"10.0.0.10:80"_s, u"proxy.example:80"_s},
                               {2, 1, 3, 4, 5},
                               {4, 3, 1, 2, 5}},
                      SortCase{"texts as texts",
                               kHttpOk,
                               {u"True"_s, u"False"_s, u""_s, u"True"_s, u"False"_s},
                               {2, 5, 1, 4, 3},
                               {1, 4, 2, 5, 3}}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

struct FilterCase {
  const char* what;
  RowFilter filter;
  std::vector<int> shown;
};
void PrintTo(const FilterCase& c, std::ostream* out) { *out << c.what; }

class FilteredView : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilteredView, ShowsTheRowsThatPass) {
  ProxyList list;
  ListViewModel rows(list);
  QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::Fatal);
  list.AppendRows({
      {u"1.2.3.4:80"_s, u"北京 电信"_s, u"高匿"_s, u"成 功"_s},
      {u"socks5://5.6.7.8:1080"_s, u"上海"_s, u"透明"_s, u"失 败"_s},
      {u"socks4://9.9.9.9:1080"_s, u"北京 联通"_s, u""_s, u"成 功"_s},
      {u"HTTP://10.1.1.1:3128"_s, u"广东"_s, u"Elite"_s, u""_s},
      {u"ftp://10.2.2.2:21"_s, u"北京"_s, u""_s, u"成 功"_s},
  });
  rows.SetFilter(GetParam().filter);
  EXPECT_EQ(ShownRows(rows), GetParam().shown);
  rows.SetFilter({});
  EXPECT_EQ(rows.Shown(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilteredView,
    ::testing::Values(FilterCase{"region", {u"北京"_s}, {1, 3, 5}},
                      FilterCase{"address", {u"5.6.7"_s}, {2}},
                      FilterCase{"type in any case", {u"elite"_s}, {4}},
                      FilterCase{"successful only", {{}, true}, {1, 3, 5}},
                      FilterCase{"http", {{}, false, kHttp}, {1, 4}},
                      FilterCase{"both socks", {{}, false, kSocks4 | kSocks5}, {2, 3}},
                      FilterCase{"all at once", {u"北京"_s, true, kHttp | kSocks4}, {1, 3}}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

TEST(ListViewModel, AFilterThatNarrowsOrWidensKeepsTheSortOrder) {
  ProxyList list;
  ListViewModel rows(list);
  QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::Fatal);
  Fill(list, kElapsedMs, {u"50"_s, u"10"_s, u"40"_s, u"20"_s, u"30"_s});
  list.FillCells({1, 2, 5}, kRegion, kRegion, u"北京"_s);
  rows.SortBy(kElapsedMs, Qt::AscendingOrder);
  for (const auto& [text, shown] :
       std::vector<std::pair<QString, std::vector<int>>>{{u"北"_s, {2, 5, 1}},
                                                         {u"北京"_s, {2, 5, 1}},
                                                         {u"10.0.0.5"_s, {5}},
                                                         {u"北京"_s, {2, 5, 1}},
                                                         {u""_s, {2, 4, 5, 3, 1}}}) {
    rows.SetFilter({text});
    EXPECT_EQ(ShownRows(rows), shown) << text.toStdString();
  }
}

TEST(ListViewModel, WrittenCellsAreSortedAndFilteredAgainAtTheRefresh) {
  ProxyList list;
  ListViewModel rows(list);
  QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::Fatal);
  Fill(list, kElapsedMs, {u"50"_s, u"10"_s, u"40"_s});
  list.FillCells({1, 2, 3}, kTestResult, kTestResult, u"成 功"_s);
  rows.SortBy(kElapsedMs, Qt::AscendingOrder);
  rows.SetFilter({{}, true});
  const QPersistentModelIndex current = rows.index(2, kAddress);  // row 1, 50 ms

  test::SetCell(list, 1, kElapsedMs, u"5"_s);
  test::SetCell(list, 3, kTestResult, u"失 败"_s);
  EXPECT_EQ(ShownRows(rows), (std::vector<int>{2, 3, 1}));  // until the refresh
  EXPECT_EQ(rows.data(rows.index(2, kElapsedMs), Qt::DisplayRole).toString(), u"5"_s);
  rows.RefreshNow();
  EXPECT_EQ(ShownRows(rows), (std::vector<int>{1, 2}));
  EXPECT_EQ(current.row(), 0);  // the view's current cell moved with its row

  list.AppendRows({{u"10.0.0.9:80"_s, {}, {}, u"成 功"_s, {}, {}, {}, u"1"_s}});
  EXPECT_EQ(ShownRows(rows), (std::vector<int>{1, 2, 4}));  // shown at once, at the end
  rows.RefreshNow();
  EXPECT_EQ(ShownRows(rows), (std::vector<int>{4, 1, 2}));
  test::RemoveRow(list, 1);
  EXPECT_EQ(ShownRows(rows), (std::vector<int>{3, 1}));
  EXPECT_FALSE(current.isValid());
  list.Clear();
  EXPECT_EQ(rows.Shown(), 0);
}

TEST(ListViewModel, SelectingShownRowsSetsExactlyTheirFlags) {
  ProxyList list;
  ListViewModel rows(list);
  Fill(list, kElapsedMs, {u"50"_s, u"10"_s, u"40"_s, u"20"_s, u"30"_s});
  rows.SortBy(kElapsedMs, Qt::DescendingOrder);  // 1 3 5 4 2
  list.SetSelected(2, true);
  rows.SelectShown(2, 3, false);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2, 3, 5}));
  rows.SelectShown(1, 2, true);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 3}));
  rows.SetFilter({u"10.0.0.4"_s});
  rows.SelectShown(1, rows.Shown(), true);  // hidden rows are not selected
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{4}));
  EXPECT_EQ(rows.ViewRow(4), 1);
  EXPECT_EQ(rows.ViewRow(1), 0);
  EXPECT_EQ(rows.ListRow(2), 0);
}

}  // namespace
}  // namespace ph
