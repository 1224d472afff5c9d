#pragma once

#include <QObject>

class QItemSelection;
class QTableView;

namespace ph {

class ProxyList;

// Keeps the list's selected flags and the view's selection one truth: a selection made with
// the mouse sets the flags, and flags set by a command show in the view.
class SelectionSync : public QObject {
  Q_OBJECT

 public:
  SelectionSync(ProxyList& list, QTableView& view);

 private:
  void FromView(const QItemSelection& selected, const QItemSelection& deselected);
  void FromList(int first, int last);

  ProxyList& list_;
  QTableView& view_;
  bool syncing_ = false;
};

}  // namespace ph
