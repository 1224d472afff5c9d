#pragma once

#include "core/proxy_list.h"

#include <QObject>

class QTableView;

namespace ph {

class ListViewModel;

// Selection on the list view, with the list's selected flags as the one truth: clicks, drags
// and keys set the flags (extended selection: Ctrl toggles, Shift extends from the anchor),
// and the view paints the flags. Ranges run over the rows as the view shows them, sorted or
// filtered, and select exactly those rows of the list. Works in one pass over the flags however
// scattered the selection is, where a selection model of many ranges would not. Assistive
// technology reads and sets the same flags (list_accessible.h).
class RowSelection : public QObject {
  Q_OBJECT

 public:
  RowSelection(ListViewModel& rows, QTableView& view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Rows below are view row numbers.
  bool OnMousePress(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
  void OnDrag(int row);
  bool OnKey(int key, Qt::KeyboardModifiers modifiers);
  void MoveTo(int row, bool extend);
  // Exactly the row selected, and the anchor there.
  void SelectOnly(int row);
  // Rows from the anchor to row: added to the selection, or made the whole selection.
  void SelectFromAnchor(int row, bool add);
  // The view row where a Shift range starts, 0 when there is none.
  int Anchor() const;

  ListViewModel& rows_;
  ProxyList& list_;
  QTableView& view_;
  QObject* viewport_;  // compared only, never called: it may be mid-destruction
  RowId anchor_ = 0;   // the row where a Shift range starts, wherever the view shows it
  bool dragging_ = false;
  bool drag_adds_ = false;  // Ctrl held when the drag began: add to the selection
};

}  // namespace ph
