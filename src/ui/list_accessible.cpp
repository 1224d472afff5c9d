#include "ui/list_accessible.h"

#include "core/proxy_list.h"
#include "ui/list_view_model.h"

#include <QAccessibleWidget>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>
#include <map>
#include <utility>

namespace ph {
namespace {

// Marks a view whose selection is its list's flags.
constexpr char kFlagSelection[] = "phFlagSelection";

// The children of the list are laid out as Qt lays out a table's, which its own focus events
// for the view count on: first the corner and a header per column, then per row its header
// and its cells.
constexpr int kChildColumns = kCellCount + 1;
constexpr int kRowHeader = -1;  // the column of a row's header
constexpr RowId kHeaderRow = 0;

class ListChild;

// The list view as a table of the rows it shows, in its order. Its children are made when asked
// for and kept until their row goes.
class ListAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
 public:
  ListAccessible(QTableView* view, ListViewModel& rows);
  ~ListAccessible() override;

  QTableView& View() const { return *static_cast<QTableView*>(widget()); }
  ProxyList& List() const { return list_; }
  const ListViewModel& Rows() const { return rows_; }
  // The child in the row of that identity (kHeaderRow for the headers) and that column
  // (kRowHeader for the row's header).
  QAccessibleInterface* Child(RowId id, int column) const;

  // QAccessibleInterface
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;
  QAccessibleInterface* child(int index) const override;
  int childCount() const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  // QAccessibleTableInterface; rows and columns count from 0. A row is selected whole, so a
  // column counts as selected only when every row is, and cannot be selected alone.
  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override;
  int selectedCellCount() const override { return selectedRowCount() * kCellCount; }
  QList<QAccessibleInterface*> selectedCells() const override;
  QString columnDescription(int column) const override;
  QString rowDescription(int row) const override;
  int selectedColumnCount() const override { return AllSelected() ? kCellCount : 0; }
  int selectedRowCount() const override;
  int columnCount() const override { return kCellCount; }
  int rowCount() const override { return rows_.Shown(); }
  QList<int> selectedColumns() const override;
  QList<int> selectedRows() const override;
  bool isColumnSelected(int column) const override;
  bool isRowSelected(int row) const override { return list_.Selected(rows_.ListRow(row + 1)); }
  bool selectRow(int row) override { return SetRowSelected(row, true); }
  bool selectColumn(int /*column*/) override { return false; }
  bool unselectRow(int row) override { return SetRowSelected(row, false); }
  bool unselectColumn(int /*column*/) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent* event) override;

 private:
  bool AllSelected() const;
  bool SetRowSelected(int row, bool selected);
  // The identity of the row shown at view row number row; 0 outside the view.
  RowId IdAt(int row) const { return list_.IdOf(rows_.ListRow(row)); }
  // The selected rows the view shows, as view rows from 0 in view order.
  QList<int> SelectedViewRows() const;

  ListViewModel& rows_;
  ProxyList& list_;
  mutable std::map<std::pair<RowId, int>, QAccessible::Id> children_;
};

// A child of the list: a cell, a column header, a row header or the corner. It names its row by
// identity, so it stays the same cell while rows before it come and go, and goes with its row.
class ListChild : public QAccessibleInterface,
                  public QAccessibleTableCellInterface,
                  public QAccessibleActionInterface {
 public:
  ListChild(ListAccessible& table, RowId id, int column)
      : table_(table), id_(id), column_(column) {}

  // Its place among the list's children; -1 once its row is gone.
  int Index() const;

  // QAccessibleInterface
  bool isValid() const override { return table_.isValid() && Index() >= 0; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return table_.window(); }
  QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return &table_; }
  QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}
  QRect rect() const override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  // QAccessibleTableCellInterface, for cells only
  bool isSelected() const override { return table_.List().Selected(ListRow()); }
  QList<QAccessibleInterface*> columnHeaderCells() const override;
  QList<QAccessibleInterface*> rowHeaderCells() const override;
  int columnIndex() const override { return column_; }
  int rowIndex() const override { return ViewRow() - 1; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return &table_; }

  // QAccessibleActionInterface, for cells only: toggling a cell toggles its row's selection.
  QStringList actionNames() const override { return {toggleAction()}; }
  void doAction(const QString& action) override;
  QStringList keyBindingsForAction(const QString& /*action*/) const override { return {}; }

 private:
  // Row numbers of a cell or row header in the list and in the view, 0 in the header row and
  // once the row is gone (in the view also while it is not shown).
  int ListRow() const { return table_.List().RowOf(id_); }
  int ViewRow() const { return table_.Rows().ViewRow(ListRow()); }
  bool IsCell() const { return id_ != kHeaderRow && column_ != kRowHeader; }
  bool Shown() const;

  ListAccessible& table_;
  const RowId id_;
  const int column_;
};

// Where a header's section is on the screen; empty while the header is hidden.
QRect SectionRect(const QHeaderView& header, int section) {
  if (!header.isVisible() || section < 0) return {};
  const int at = header.sectionViewportPosition(section);
  const QRect local = header.orientation() == Qt::Horizontal
                          ? QRect(at, 0, header.sectionSize(section), header.height())
                          : QRect(0, at, header.width(), header.sectionSize(section));
  return {header.viewport()->mapToGlobal(local.topLeft()), local.size()};
}

ListAccessible::ListAccessible(QTableView* view, ListViewModel& rows)
    : QAccessibleWidget(view, QAccessible::Table), rows_(rows), list_(rows.List()) {}

ListAccessible::~ListAccessible() {
  for (const auto& [key, id] : children_) QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface* ListAccessible::Child(RowId id, int column) const {
  QAccessible::Id& known = children_[{id, column}];
  if (QAccessibleInterface* child = QAccessible::accessibleInterface(known)) return child;
  auto* child = new ListChild(const_cast<ListAccessible&>(*this), id, column);
  known = QAccessible::registerAccessibleInterface(child);
  return child;
}

QAccessibleInterface* ListAccessible::childAt(int x, int y) const {
  const QModelIndex index = View().indexAt(View().viewport()->mapFromGlobal(QPoint(x, y)));
  return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
}

QAccessibleInterface* ListAccessible::focusChild() const {
  const QModelIndex current = View().currentIndex();
  return current.isValid() ? cellAt(current.row(), current.column()) : nullptr;
}

QAccessibleInterface* ListAccessible::child(int index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  const int row = index / kChildColumns;
  return Child(row == 0 ? kHeaderRow : IdAt(row), index % kChildColumns - 1);
}

int ListAccessible::childCount() const { return (rows_.Shown() + 1) * kChildColumns; }

int ListAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const auto* ours = dynamic_cast<const ListChild*>(child);
  return ours != nullptr && ours->parent() == this ? ours->Index() : -1;
}

QAccessible::State ListAccessible::state() const {
  QAccessible::State state = QAccessibleWidget::state();
  state.multiSelectable = true;
  return state;
}

void* ListAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* ListAccessible::cellAt(int row, int column) const {
  const RowId id = IdAt(row + 1);
  if (id == 0 || column < 0 || column >= kCellCount) return nullptr;
  return Child(id, column);
}

QList<QAccessibleInterface*> ListAccessible::selectedCells() const {
  QList<QAccessibleInterface*> cells;
  for (const int row : SelectedViewRows())
    for (int column = 0; column < kCellCount; ++column) cells.push_back(cellAt(row, column));
  return cells;
}

QString ListAccessible::columnDescription(int column) const {
  return rows_.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

QString ListAccessible::rowDescription(int row) const {
  return rows_.headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
}

int ListAccessible::selectedRowCount() const { return static_cast<int>(SelectedViewRows().size()); }

QList<int> ListAccessible::SelectedViewRows() const {
  QList<int> shown;
  for (const int row : list_.SelectedRows())
    if (const int at = rows_.ViewRow(row); at > 0) shown.push_back(at - 1);
  std::sort(shown.begin(), shown.end());
  return shown;
}

QList<int> ListAccessible::selectedColumns() const {
  QList<int> columns;
  if (AllSelected())
    for (int column = 0; column < kCellCount; ++column) columns.push_back(column);
  return columns;
}

QList<int> ListAccessible::selectedRows() const { return SelectedViewRows(); }

bool ListAccessible::isColumnSelected(int column) const {
  return column >= 0 && column < kCellCount && AllSelected();
}

void ListAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
  // Children know their rows by identity, so only those whose row is gone have to go.
  const auto change = event->modelChangeType();
  if (change != QAccessibleTableModelChangeEvent::RowsRemoved &&
      change != QAccessibleTableModelChangeEvent::ModelReset)
    return;
  std::erase_if(children_, [this](const auto& child) {
    const RowId row = child.first.first;
    if (row == kHeaderRow || list_.RowOf(row) != 0) return false;
    QAccessible::deleteAccessibleInterface(child.second);
    return true;
  });
}

bool ListAccessible::AllSelected() const {
  return rows_.Shown() > 0 && selectedRowCount() == rows_.Shown();
}

bool ListAccessible::SetRowSelected(int row, bool selected) {
  const int list_row = rows_.ListRow(row + 1);
  if (list_row == 0) return false;
  list_.SetSelected(list_row, selected);
  return true;
}

int ListChild::Index() const {
  if (id_ == kHeaderRow) return column_ + 1;
  const int row = ViewRow();
  return row > 0 ? row * kChildColumns + column_ + 1 : -1;
}

QString ListChild::text(QAccessible::Text t) const {
  if (t != QAccessible::Name || !isValid()) return {};
  switch (role()) {
    case QAccessible::Cell:
      return table_.List().CellText(ListRow(), column_);
    case QAccessible::ColumnHeader:
      return table_.columnDescription(column_);
    case QAccessible::RowHeader:
      return table_.rowDescription(ViewRow() - 1);
    default:
      return {};  // the corner
  }
}

QRect ListChild::rect() const {
  if (!isValid()) return {};
  QTableView& view = table_.View();
  if (id_ == kHeaderRow) return SectionRect(*view.horizontalHeader(), column_);
  if (column_ == kRowHeader) return SectionRect(*view.verticalHeader(), ViewRow() - 1);
  const QRect local = view.visualRect(table_.Rows().index(ViewRow() - 1, column_));
  return {view.viewport()->mapToGlobal(local.topLeft()), local.size()};
}

QAccessible::Role ListChild::role() const {
  if (IsCell()) return QAccessible::Cell;
  if (column_ != kRowHeader) return QAccessible::ColumnHeader;
  return id_ == kHeaderRow ? QAccessible::Pane : QAccessible::RowHeader;
}

bool ListChild::Shown() const {
  const QTableView& view = table_.View();
  if (!IsCell()) return !rect().isEmpty();
  return view.viewport()->rect().intersects(
      view.visualRect(table_.Rows().index(ViewRow() - 1, column_)));
}

QAccessible::State ListChild::state() const {
  QAccessible::State state;
  if (!isValid()) {
    state.invalid = true;
    return state;
  }
  state.offscreen = !Shown();
  if (!IsCell()) return state;
  state.selectable = true;
  state.selected = isSelected();
  state.focusable = true;
  const QTableView& view = table_.View();
  const QModelIndex current = view.currentIndex();
  state.focused = view.hasFocus() && current.row() == ViewRow() - 1 && current.column() == column_;
  return state;
}

void* ListChild::interface_cast(QAccessible::InterfaceType type) {
  if (!IsCell()) return nullptr;
  if (type == QAccessible::TableCellInterface)
    return static_cast<QAccessibleTableCellInterface*>(this);
  if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
  return nullptr;
}

QList<QAccessibleInterface*> ListChild::columnHeaderCells() const {
  return {table_.Child(kHeaderRow, column_)};
}

QList<QAccessibleInterface*> ListChild::rowHeaderCells() const {
  return {table_.Child(id_, kRowHeader)};
}

void ListChild::doAction(const QString& action) {
  if (action != toggleAction() || !isValid()) return;
  ProxyList& list = table_.List();
  list.SetSelected(ListRow(), !list.Selected(ListRow()));
}

QAccessibleInterface* ListFactory(const QString& /*class_name*/, QObject* object) {
  auto* view = qobject_cast<QTableView*>(object);
  if (view == nullptr || !view->property(kFlagSelection).toBool()) return nullptr;
  auto* rows = qobject_cast<ListViewModel*>(view->model());
  return rows != nullptr ? new ListAccessible(view, *rows) : nullptr;
}

}  // namespace

void MakeListAccessible(QTableView& view) {
  view.setProperty(kFlagSelection, true);
  QAccessible::installFactory(ListFactory);  // Qt keeps one of each factory
  // Once shown, the view may have Qt's own table interface, which reads a selection model.
  QAccessibleInterface* known = QAccessible::queryAccessibleInterface(&view);
  if (known != nullptr && dynamic_cast<ListAccessible*>(known) == nullptr)
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(known));
}

void NotifySelectionChanged(QTableView& view) {
  QAccessibleEvent event(&view, QAccessible::SelectionWithin);
  QAccessible::updateAccessibility(&event);
}

}  // namespace ph
