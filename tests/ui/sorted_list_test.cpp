#include "ui/main_window.h"

#include "app/application.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "listio/proxy_file.h"
#include "support/loopback_server.h"
#include "support/sandbox.h"
#include "ui/started_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The window with six rows on closed loopback ports (a probe fails at once), each with its
// own time in 耗时: list rows 1 to 6 take 300, 100, 500, 200, 600 and 400 ms.
class SortedListTest : public ::testing::Test {
 protected:
  SortedListTest()
      : application(dir.Dir()),
        window(test::StartWindow(application)),
        list(window.State().List()),
        view(window.findChild<QTableView*>(u"Lv"_s)) {
    const uint16_t port = test::ClosedPort();
    const QStringList elapsed{u"300"_s, u"100"_s, u"500"_s, u"200"_s, u"600"_s, u"400"_s};
    for (int i = 0; i < elapsed.size(); ++i) {
      NewRow row{Address(i + 1, port), u"北京"_s};
      row[kElapsedMs - 1] = elapsed[i];
      row[kSuccessRatio - 1] = u"%1%"_s.arg((i + 1) * 20 % 110);  // 20 40 60 80 100 10
      list.AppendRow(row);
    }
    QCoreApplication::processEvents();  // laid out
  }

  static QString Address(int row, uint16_t port) { return u"127.0.0.%1:%2"_s.arg(row).arg(port); }

  void ClickHeader(int column) {
    QHeaderView* header = view->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
  }
  void ClickRow(int view_row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                      QPoint(20, view->rowViewportPosition(view_row - 1) + 2));
  }
  // The list rows in the order the view shows them, found by their addresses.
  std::vector<int> ShownRows() {
    std::vector<int> rows;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
      const QString address = view->model()->index(row, kAddress).data().toString();
      rows.push_back(address.section(u'.', 3).section(u':', 0, 0).toInt());
    }
    return rows;
  }
  void Trigger(const QString& name) { window.findChild<QAction*>(name)->trigger(); }

  test::TempProgramDir dir;
  Application application;
  MainWindow& window;
  ProxyList& list;
  QTableView* view;
};

TEST_F(SortedListTest, HeaderClicksSortReverseAndGiveTheListsOrderBack) {
  const std::vector<int> list_order{1, 2, 3, 4, 5, 6};
  struct Click {
    int column;
    std::vector<int> shown;
  };
  for (const Click& click :
       {Click{kElapsedMs, {2, 4, 1, 6, 3, 5}}, Click{kElapsedMs, {5, 3, 6, 1, 4, 2}},
        Click{kElapsedMs, list_order}, Click{kSuccessRatio, {6, 1, 2, 3, 4, 5}},
        Click{kSuccessRatio, {5, 4, 3, 2, 1, 6}}, Click{kElapsedMs, {2, 4, 1, 6, 3, 5}}}) {
    ClickHeader(click.column);
    EXPECT_EQ(ShownRows(), click.shown)
        << list.headerData(click.column, Qt::Horizontal, Qt::DisplayRole).toString().toStdString();
  }
  EXPECT_EQ(view->horizontalHeader()->sortIndicatorSection(), kElapsedMs);
  // The list itself keeps its order.
  for (int row = 1; row <= 6; ++row)
    EXPECT_TRUE(list.CellText(row, kAddress).startsWith(u"127.0.0.%1:"_s.arg(row)));
}

TEST_F(SortedListTest, CommandsActOnExactlyTheRowsSelectedInTheSortedView) {
  ClickHeader(kElapsedMs);  // 100 200 300 400 500 600: rows 2 4 1 6 3 5
  ClickRow(1);
  ClickRow(3, Qt::ShiftModifier);  // the three fastest
  ClickRow(5, Qt::ControlModifier);
  ClickRow(5, Qt::ControlModifier);  // and not the fifth after all
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(window.CurrentRow(), 3);  // view row 5

  Trigger(u"CopyInfo"_s);  // in the list's order
  const uint16_t port = static_cast<uint16_t>(list.CellText(1, kAddress).section(u':', 1).toInt());
  EXPECT_EQ(window.ClipboardText(), Address(1, port) + u"\r\n"_s + Address(2, port) + u"\r\n"_s +
                                        Address(4, port) + u"\r\n"_s);

  Trigger(u"Tmenu1"_s);  // 验证选中
  ASSERT_TRUE(test::WaitFor([&] { return !application.Runs().TestRunning(); }));
  for (int row = 1; row <= 6; ++row) {
    const bool selected = row == 1 || row == 2 || row == 4;
    EXPECT_EQ(list.CellText(row, kTestCount), selected ? u"1"_s : u""_s) << row;
    EXPECT_EQ(list.CellText(row, kTestResult), selected ? u"失 败"_s : u""_s) << row;
  }
}

TEST_F(SortedListTest, ExportWritesTheListsOwnOrderWhateverTheViewShows) {
  ClickHeader(kElapsedMs);
  ClickHeader(kElapsedMs);
  window.findChild<QLineEdit*>(u"Filter"_s)->setText(u"127.0.0.3"_s);
  ASSERT_EQ(ShownRows(), (std::vector<int>{3}));
  Trigger(u"WirteTxt"_s);
  const std::vector<NewRow> written = ParseProxyFile(ReadTextFile(dir.File(kProxyFileName)));
  ASSERT_EQ(written.size(), 6u);
  for (int row = 1; row <= 6; ++row)
    EXPECT_EQ(written[static_cast<std::size_t>(row - 1)][kAddress - 1],
              list.CellText(row, kAddress));
}

TEST_F(SortedListTest, TheFilterBarNarrowsTheView) {
  auto* filter = window.findChild<QLineEdit*>(u"Filter"_s);
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(filter->accessibleName(), u"筛选"_s);
  EXPECT_LT(filter->geometry().bottom(), view->geometry().top());  // above the list
  list.FillCells({2, 5}, kTestResult, kTestResult, u"成 功"_s);
  list.FillCells({5}, kAddress, kAddress, u"socks5://10.0.0.5:1080"_s);
  auto* count = window.findChild<QLabel*>(u"FilterCount"_s);
  EXPECT_EQ(count->text(), u""_s);

  window.findChild<QCheckBox*>(u"FilterSuccess"_s)->click();
  EXPECT_EQ(ShownRows(), (std::vector<int>{2, 5}));
  EXPECT_EQ(count->text(), u"显示 2 / 6"_s);
  window.findChild<QToolButton*>(u"FilterHttp"_s)->click();
  EXPECT_EQ(ShownRows(), (std::vector<int>{2}));
  window.findChild<QToolButton*>(u"FilterSocks5"_s)->click();
  EXPECT_EQ(ShownRows(), (std::vector<int>{2, 5}));
  window.findChild<QCheckBox*>(u"FilterSuccess"_s)->click();
  QTest::keyClicks(filter, u"127.0.0.4"_s);
  EXPECT_EQ(ShownRows(), (std::vector<int>{4}));
  window.findChild<QToolButton*>(u"FilterSocks5"_s)->click();
  filter->clear();
  EXPECT_EQ(ShownRows(), (std::vector<int>{1, 2, 3, 4, 6}));  // the HTTP ones
  EXPECT_EQ(count->text(), u"显示 5 / 6"_s);
}

TEST_F(SortedListTest, AssistiveTechnologySeesTheRowsInTheViewsOrder) {
  ClickHeader(kSuccessRatio);  // 10 20 40 60 80 100: rows 6 1 2 3 4 5
  QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(view)->tableInterface();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->cellAt(0, kAddress)->text(QAccessible::Name), list.CellText(6, kAddress));
  EXPECT_TRUE(table->selectRow(0));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{6}));
  EXPECT_EQ(table->selectedRows(), QList<int>({0}));
  window.findChild<QLineEdit*>(u"Filter"_s)->setText(u"127.0.0.2"_s);
  EXPECT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->selectedRowCount(), 0);  // row 6 stays selected, but is not shown
  EXPECT_EQ(table->cellAt(0, kAddress)->tableCellInterface()->rowIndex(), 0);
}

}  // namespace
}  // namespace ph
