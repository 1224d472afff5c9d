#pragma once

#include <QObject>

class QTableView;

namespace ph {

class ProxyList;

// Selection on the list view, with the list's selected flags as the one truth: clicks, drags
// and keys set the flags (extended selection: Ctrl toggles, Shift extends from the anchor),
// and the view paints the flags. Works in one pass over the flags however scattered the
// selection is, where a selection model of many ranges would not. Assistive technology reads
// and sets the same flags (list_accessible.h).
class RowSelection : public QObject {
  Q_OBJECT

 public:
  RowSelection(ProxyList& list, QTableView& view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool OnMousePress(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
  void OnDrag(int row);
  bool OnKey(int key, Qt::KeyboardModifiers modifiers);
  void MoveTo(int row, bool extend);
  // Rows from the anchor to row: added to the selection, or made the whole selection.
  void SelectFromAnchor(int row, bool add);

  ProxyList& list_;
  QTableView& view_;
  QObject* viewport_;  // compared only, never called: it may be mid-destruction
  int anchor_ = 0;          // row number where a Shift range starts
  bool dragging_ = false;
  bool drag_adds_ = false;  // Ctrl held when the drag began: add to the selection
};

}  // namespace ph
