#include "app/application.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/accessibility_bridge.h"
#include "support/list_rows.h"
#include "support/sandbox.h"
#include "ui/started_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QTableView>
#include <QTest>

#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The list as an accessibility client (a screen reader, desktop automation) sees it.
class ListAccessibilityTest : public ::testing::Test {
 protected:
  ListAccessibilityTest()
      : application(dir.Dir()),
        window(test::StartWindow(application)),
        list(window.State().List()),
        view(window.findChild<QTableView*>(u"Lv"_s)),
        table(QAccessible::queryAccessibleInterface(view)) {
    for (int i = 1; i <= 5; ++i) list.AppendRow({u"10.0.0.%1:80"_s.arg(i)});
  }

  QAccessibleInterface* Cell(int row, int column) {
    return table->tableInterface()->cellAt(row, column);
  }

  test::TempProgramDir dir;
  Application application;
  MainWindow& window;
  ProxyList& list;
  QTableView* view;
  QAccessibleInterface* table;
};

TEST_F(ListAccessibilityTest, ReportsTheFlaggedRowsAsSelected) {
  QAccessibleTableInterface* rows = table->tableInterface();
  ASSERT_NE(rows, nullptr);
  list.SetSelected(2, true);
  list.SetSelected(4, true);
  EXPECT_EQ(rows->selectedRowCount(), 2);
  EXPECT_EQ(rows->selectedRows(), QList<int>({1, 3}));
  EXPECT_TRUE(rows->isRowSelected(3));
  EXPECT_EQ(rows->selectedCellCount(), 2 * kCellCount);
  EXPECT_TRUE(rows->selectedCells().contains(Cell(1, kAddress)));
  EXPECT_EQ(Cell(1, kAddress)->text(QAccessible::Name), u"10.0.0.2:80"_s);
  EXPECT_TRUE(Cell(1, kAddress)->state().selected);
  EXPECT_FALSE(Cell(0, kAddress)->state().selected);
  EXPECT_EQ(rows->selectedColumnCount(), 0);
  list.SetAllSelected(true);
  EXPECT_EQ(rows->selectedColumnCount(), kCellCount);
}

TEST_F(ListAccessibilityTest, SelectsRowsThroughTheFlags) {
  QAccessibleTableInterface* rows = table->tableInterface();
  EXPECT_TRUE(rows->selectRow(0));
  EXPECT_TRUE(rows->selectRow(4));
  EXPECT_TRUE(rows->unselectRow(0));
  EXPECT_FALSE(rows->selectRow(5));            // no such row
  EXPECT_FALSE(rows->selectColumn(kAddress));  // the list selects whole rows only
  Cell(2, kRegion)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{3, 5}));
}

TEST_F(ListAccessibilityTest, EverySelectionChangeIsAnnouncedOnce) {
  test::TakeBridgedEvents(QAccessible::SelectionWithin);
  list.SetSelected(2, true);
  list.InvertSelection();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    QPoint(20, view->rowViewportPosition(0) + 2));
  table->tableInterface()->selectRow(3);
  test::SetCell(list, 1, kRegion, u"北京"_s);  // not a selection change
  EXPECT_EQ(test::TakeBridgedEvents(QAccessible::SelectionWithin), std::vector<QObject*>(4, view));
}

TEST_F(ListAccessibilityTest, ACellStaysWithItsRowWhileRowsBeforeItGo) {
  QAccessibleInterface* cell = Cell(3, kAddress);  // row 4
  test::RemoveRow(list, 1);
  EXPECT_EQ(cell->tableCellInterface()->rowIndex(), 2);
  EXPECT_EQ(cell->text(QAccessible::Name), u"10.0.0.4:80"_s);
  EXPECT_EQ(Cell(2, kAddress), cell);
  EXPECT_EQ(table->child(table->indexOfChild(cell)), cell);
  test::RemoveRow(list, 3);
  EXPECT_FALSE(cell->isValid());
}

TEST_F(ListAccessibilityTest, TheFocusedChildIsTheCurrentCellWhereQtCountsIt) {
  view->setCurrentIndex(list.index(2, kRegion));
  EXPECT_EQ(table->focusChild(), Cell(2, kRegion));
  // Qt's own focus events for the view count a header row and a header column first.
  EXPECT_EQ(table->child((2 + 1) * (kCellCount + 1) + kRegion + 1), Cell(2, kRegion));
}

}  // namespace
}  // namespace ph
