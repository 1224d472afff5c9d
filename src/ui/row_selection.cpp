#include "ui/row_selection.h"

#include "core/proxy_list.h"
#include "ui/list_accessible.h"
#include "ui/list_view_model.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>

namespace ph {
namespace {

// Paints a row as selected when its flag says so.
class SelectedRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(ProxyList::kSelectedRole).toBool()) {
      option->state |= QStyle::State_Selected;
    } else {
      option->state &= ~QStyle::State_Selected;
    }
  }
};

}  // namespace

RowSelection::RowSelection(ListViewModel& rows, QTableView& view)
    : QObject(&view), rows_(rows), list_(rows.List()), view_(view), viewport_(view.viewport()) {
  view_.setSelectionMode(QAbstractItemView::NoSelection);
  view_.setItemDelegate(new SelectedRowDelegate(&view_));
  view_.viewport()->installEventFilter(this);
  view_.installEventFilter(this);
  MakeListAccessible(view_);
  // One event however many rows changed, so large selections stay fast.
  connect(&list_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            if (roles.contains(ProxyList::kSelectedRole)) NotifySelectionChanged(view_);
          });
}

bool RowSelection::eventFilter(QObject* watched, QEvent* event) {
  // Only input events are looked at: other events also arrive while the view is being
  // destroyed, when it must not be asked anything.
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (watched == viewport_) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int row = view_.rowAt(mouse->position().toPoint().y()) + 1;
        return OnMousePress(row, mouse->button(), mouse->modifiers());
      }
      break;
    case QEvent::MouseMove:
      if (watched == viewport_ && dragging_) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        OnDrag(view_.rowAt(mouse->position().toPoint().y()) + 1);
        return true;
      }
      break;
    case QEvent::MouseButtonRelease:
      if (watched == viewport_) dragging_ = false;
      break;
    case QEvent::KeyPress:
      if (watched == &view_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        return OnKey(key->key(), key->modifiers());
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

bool RowSelection::OnMousePress(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
  view_.setFocus();
  if (row < 1) {
    if (button == Qt::LeftButton && !(modifiers & Qt::ControlModifier)) list_.SetAllSelected(false);
    return button == Qt::LeftButton;
  }
  view_.setCurrentIndex(rows_.index(row - 1, std::max(view_.currentIndex().column(), 0)));
  const int list_row = rows_.ListRow(row);
  if (button == Qt::RightButton) {
    // The menu works on the row under the mouse unless it belongs to the selection.
    if (!list_.Selected(list_row)) SelectOnly(row);
    return false;  // the release still opens the context menu
  }
  if (button != Qt::LeftButton) return false;

  const bool ctrl = modifiers & Qt::ControlModifier;
  const bool shift = modifiers & Qt::ShiftModifier;
  if (shift && Anchor() >= 1) {
    SelectFromAnchor(row, ctrl);
  } else if (ctrl) {
    list_.SetSelected(list_row, !list_.Selected(list_row));
    anchor_ = list_.IdOf(list_row);
  } else {
    SelectOnly(row);
  }
  dragging_ = true;
  drag_adds_ = ctrl;
  return true;
}

void RowSelection::OnDrag(int row) {
  if (row < 1 || Anchor() < 1) return;
  SelectFromAnchor(row, drag_adds_);
  view_.scrollTo(rows_.index(row - 1, view_.currentIndex().column()));
}

bool RowSelection::OnKey(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_A && (modifiers & Qt::ControlModifier)) {
    rows_.SelectShown(1, rows_.Shown(), true);
    return true;
  }
  const int rows = rows_.Shown();
  if (rows == 0) return false;
  const int current = view_.currentIndex().isValid() ? view_.currentIndex().row() + 1 : 0;
  const int page = std::max(1, view_.viewport()->height() / std::max(1, view_.rowHeight(0)) - 1);
  int target = 0;
  switch (key) {
    case Qt::Key_Up:
      target = current - 1;
      break;
    case Qt::Key_Down:
      target = current + 1;
      break;
    case Qt::Key_PageUp:
      target = current - page;
      break;
    case Qt::Key_PageDown:
      target = current + page;
      break;
    case Qt::Key_Home:
      target = 1;
      break;
    case Qt::Key_End:
      target = rows;
      break;
    default:
      return false;
  }
  MoveTo(std::clamp(target, 1, rows), modifiers & Qt::ShiftModifier);
  return true;
}

int RowSelection::Anchor() const { return rows_.ViewRow(list_.RowOf(anchor_)); }

void RowSelection::SelectOnly(int row) {
  rows_.SelectShown(row, row, true);
  anchor_ = list_.IdOf(rows_.ListRow(row));
}

void RowSelection::SelectFromAnchor(int row, bool add) {
  const int anchor = Anchor();
  rows_.SelectShown(std::min(anchor, row), std::max(anchor, row), !add);
}

void RowSelection::MoveTo(int row, bool extend) {
  const QModelIndex index = rows_.index(row - 1, std::max(view_.currentIndex().column(), 0));
  view_.setCurrentIndex(index);
  view_.scrollTo(index);
  if (extend && Anchor() >= 1) {
    SelectFromAnchor(row, false);
  } else {
    SelectOnly(row);
  }
}

}  // namespace ph
