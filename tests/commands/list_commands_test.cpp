#include "commands/list_commands.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class ListCommandsTest : public ::testing::Test {
 protected:
  ListCommandsTest() : state(window, dir.Dir()), commands(state) {}

  int Add(const QString& address, const QString& region = {}, const QString& result = {}) {
    const int row = list().AppendRow({address, region});
    test::SetCell(list(), row, kTestResult, result);
    return row;
  }
  ProxyList& list() { return state.List(); }
  std::vector<int> Selected() { return list().SelectedRows(); }
  QStringList Addresses() {
    QStringList addresses;
    for (int row = 1; row <= list().RowCount(); ++row) addresses << list().CellText(row, kAddress);
    return addresses;
  }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  test::StatusLog log{state.StatusBar()};
  ListCommands commands;
};

TEST_F(ListCommandsTest, SelectAllAndInvert) {
  for (int i = 0; i < 4; ++i) Add(u"1.1.1.%1:80"_s.arg(i));
  list().SetSelected(1, true);
  commands.InvertSelection();
  EXPECT_EQ(Selected(), (std::vector<int>{2, 3, 4}));
  commands.SelectAll();
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 4}));
  commands.InvertSelection();
  EXPECT_TRUE(Selected().empty());
}

TEST_F(ListCommandsTest, SelectByResultAddsToTheSelection) {
  Add(u"a:1"_s, {}, u"成 功"_s);
  Add(u"b:2"_s, {}, u"失 败"_s);
  Add(u"c:3"_s, {}, {});
  Add(u"d:4"_s, {}, u"成功"_s);  // not the exact text
  list().SetSelected(2, true);
  commands.SelectSuccessful();
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2}));
  commands.SelectNotValidated();
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3}));
}

TEST_F(ListCommandsTest, FindSelectsAddressAndRegionMatchesAndKeepsTheRest) {
  Add(u"10.0.0.1:80"_s, u"北京 电信"_s);
  Add(u"北京.test:81"_s, u"上海"_s);
  Add(u"10.0.0.3:82"_s, u"广州"_s);
  Add(u"10.0.0.4:83"_s, u"南京"_s);
  list().SetSelected(3, true);
  window.inputs = QStringList{u"北京"_s};
  commands.FindAndSelect();
  EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(
      window.prompts,
      QStringList{u"查找信息|请输入一个你希望查找的信息,程序将会帮你在列表中模糊的匹配IP与地址"_s});

  list().SetAllSelected(false);
  window.inputs = QStringList{u"10.0.0.3"_s, QString(), u""_s};
  commands.FindAndSelect();
  commands.FindAndSelect();  // cancelled
  commands.FindAndSelect();  // empty answer
  EXPECT_EQ(Selected(), (std::vector<int>{3}));
}

TEST_F(ListCommandsTest, FindIsCaseSensitiveAndNeedsRows) {
  commands.FindAndSelect();
  EXPECT_TRUE(window.prompts.isEmpty());
  Add(u"abc.test:1"_s);
  window.inputs = QStringList{u"ABC"_s};
  commands.FindAndSelect();
  EXPECT_TRUE(Selected().empty());
}

TEST_F(ListCommandsTest, CopyPutsTheSelectedAddressesOnTheClipboard) {
  commands.CopySelected();
  EXPECT_TRUE(log.history.isEmpty());
  Add(u"1.1.1.1:80"_s);
  Add(u"2.2.2.2:81"_s);
  Add(u"3.3.3.3:82"_s);
  window.clipboard = u"old"_s;
  commands.CopySelected();
  EXPECT_EQ(window.clipboard, u""_s);
  EXPECT_EQ(state.StatusBar().Text(), u"复制完成!"_s);
  list().SetSelected(3, true);
  list().SetSelected(1, true);
  commands.CopySelected();
  EXPECT_EQ(window.clipboard, u"1.1.1.1:80\r\n3.3.3.3:82\r\n"_s);
}

TEST_F(ListCommandsTest, RemoveDuplicatesKeepsTheFirstOfEachAddressAndRenumbers) {
  Add(u"1.1.1.1:80"_s, u"first"_s);
  Add(u"2.2.2.2:80"_s);
  Add(u"1.1.1.1:80"_s, u"second"_s);
  Add(u"A.test:1"_s);
  Add(u"a.test:1"_s);
  Add(u"1.1.1.1:80"_s, u"third"_s);
  test::RemoveRow(list(), 2);  // Index values now have a gap
  commands.RemoveDuplicates();
  EXPECT_EQ(Addresses(), QStringList({u"1.1.1.1:80"_s, u"A.test:1"_s, u"a.test:1"_s}));
  EXPECT_EQ(list().CellText(1, kRegion), u"first"_s);
  for (int row = 1; row <= 3; ++row) EXPECT_EQ(list().CellText(row, kIndex), QString::number(row));
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"3"_s);
  EXPECT_TRUE(window.list_visible);
}

TEST_F(ListCommandsTest, RemoveDuplicatesOverManyScatteredCopies) {
  for (int i = 0; i < 3000; ++i) Add(u"10.0.%1.1:80"_s.arg(i % 1000));
  list().SetSelected(1500, true);  // a later copy of row 500
  list().SetSelected(7, true);
  commands.RemoveDuplicates();
  ASSERT_EQ(list().RowCount(), 1000);
  EXPECT_EQ(list().CellText(1000, kAddress), u"10.0.999.1:80"_s);
  EXPECT_EQ(list().CellText(1000, kIndex), u"1000"_s);
  EXPECT_EQ(Selected(), (std::vector<int>{7}));
}

TEST_F(ListCommandsTest, ResetHistoryClearsTheStatisticsOfSelectedRows) {
  for (int i = 0; i < 4; ++i) {
    const int row = Add(u"1.1.1.%1:80"_s.arg(i), u"region"_s, u"成 功"_s);
    for (int cell = kProtocolStatus; cell <= kFirstTestedAt; ++cell)
      test::SetCell(list(), row, cell, u"x"_s);
  }
  commands.ResetHistory();
  EXPECT_EQ(state.StatusBar().Text(), u"验证历史重置成功,共重置选中: 0 个"_s);
  for (const int row : {1, 2, 4}) list().SetSelected(row, true);
  commands.ResetHistory();
  EXPECT_EQ(state.StatusBar().Text(), u"验证历史重置成功,共重置选中: 3 个"_s);
  EXPECT_EQ(list().CellText(2, kTestedAt), u""_s);
  EXPECT_EQ(list().CellText(2, kTestCount), u"0"_s);
  EXPECT_EQ(list().CellText(2, kSuccessCount), u"0"_s);
  EXPECT_EQ(list().CellText(2, kSuccessRatio), u""_s);
  EXPECT_EQ(list().CellText(2, kFirstTestedAt), u""_s);
  EXPECT_EQ(list().CellText(2, kTestResult), u"成 功"_s);  // cells 3 to 8 stay
  EXPECT_EQ(list().CellText(2, kElapsedMs), u"x"_s);
  EXPECT_EQ(list().CellText(3, kTestCount), u"x"_s);
}

TEST_F(ListCommandsTest, ResetHistoryOnAnEmptyListSaysNothing) {
  commands.ResetHistory();
  EXPECT_TRUE(log.history.isEmpty());
}

TEST_F(ListCommandsTest, ClearAsksFirst) {
  Add(u"1.1.1.1:80"_s);
  state.StatusBar().SetSuccesses(5);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"1"_s);
  window.answers = {MessageAnswer::No, MessageAnswer::Yes};
  commands.ClearList();
  EXPECT_EQ(list().RowCount(), 1);
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"5"_s);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, u"操作不可逆,确定要清空列表吗?"_s);
  EXPECT_EQ(window.messages[0].title, u"清空列表"_s);
  EXPECT_EQ(window.messages[0].icon, MessageIcon::Information);
  commands.ClearList();
  EXPECT_EQ(list().RowCount(), 0);
  EXPECT_EQ(QString::number(state.StatusBar().Successes()), u"0"_s);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"0"_s);
}

}  // namespace
}  // namespace ph
