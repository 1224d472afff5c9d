#include "ui/selection_sync.h"

#include "core/proxy_list.h"

#include <QItemSelectionModel>
#include <QTableView>

namespace ph {

SelectionSync::SelectionSync(ProxyList& list, QTableView& view)
    : QObject(&view), list_(list), view_(view) {
  connect(view_.selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &SelectionSync::FromView);
  connect(&list_, &ProxyList::SelectionFlagsChanged, this, &SelectionSync::FromList);
  // A reset drops the view's selection; the flags survive it and are shown again.
  connect(&list_, &QAbstractItemModel::modelReset, this, [this] {
    if (list_.RowCount() > 0) FromList(1, list_.RowCount());
  });
}

void SelectionSync::FromView(const QItemSelection& selected, const QItemSelection& deselected) {
  if (syncing_) return;
  syncing_ = true;
  for (const QItemSelectionRange& range : deselected)
    list_.SetSelectedRange(range.top() + 1, range.bottom() + 1, false);
  for (const QItemSelectionRange& range : selected)
    list_.SetSelectedRange(range.top() + 1, range.bottom() + 1, true);
  syncing_ = false;
}

void SelectionSync::FromList(int first, int last) {
  if (syncing_) return;
  syncing_ = true;
  const int right = list_.columnCount() - 1;
  QItemSelection marked;
  // Contiguous runs of selected rows become one range each.
  for (int row = first; row <= last;) {
    if (!list_.Selected(row)) {
      ++row;
      continue;
    }
    const int run_start = row;
    while (row <= last && list_.Selected(row)) ++row;
    marked.append(QItemSelectionRange(list_.index(run_start - 1, 0), list_.index(row - 2, right)));
  }
  QItemSelectionModel* model = view_.selectionModel();
  if (first == 1 && last == list_.RowCount()) {
    model->select(marked, QItemSelectionModel::ClearAndSelect);
  } else {
    model->select(QItemSelection(list_.index(first - 1, 0), list_.index(last - 1, right)),
                  QItemSelectionModel::Deselect);
    model->select(marked, QItemSelectionModel::Select);
  }
  syncing_ = false;
}

}  // namespace ph
