#pragma once

#include "core/proxy_list.h"
#include "ui/row_filter.h"
#include "ui/sort_keys.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <chrono>
#include <utility>
#include <vector>

namespace ph {

// What the list view shows of the list: its rows in the order of one column (or in the list's
// own order) and only those the filter passes. Only the view changes: commands, selected
// flags, exports and the control API's row numbers keep the list's own order, and what the
// user does in the view reaches the list through ListRow.
//
// Sized for 100,000 rows: a sort computes one key per row and sorts row numbers by key; a
// filter keystroke asks the filter once per row (only of the rows shown when it narrows).
// Cells written while the view is sorted or filtered only mark their rows: the marked rows
// are sorted and filtered again at most once per kRefreshDelay, so a run's bursts of results
// cost one sort per burst, never one per row. The list only appends rows at its end.
class ListViewModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kRefreshDelay{300};

  explicit ListViewModel(ProxyList& list, QObject* parent = nullptr);

  ProxyList& List() const { return list_; }
  // Row numbers (1-based) both ways: the list row shown at view row view_row (0 outside the
  // view), and the view row of list row list_row (0 when it is not shown).
  int ListRow(int view_row) const;
  int ViewRow(int list_row) const;
  int Shown() const { return static_cast<int>(shown_.size()); }
  // True while the view shows every row in the list's own order.
  bool ShowsTheListAsItIs() const { return keys_.Column() < 0 && !filter_.Active(); }

  // Sorts by the column (-1: the list's own order).
  void SortBy(int column, Qt::SortOrder order);
  void SetFilter(const RowFilter& filter);
  const RowFilter& Filter() const { return filter_; }
  // View rows first..last (row numbers) selected; with only, every other row of the list not.
  // One notification.
  void SelectShown(int first, int last, bool only);
  // Sorts and filters the rows written since the last time now, not at the next refresh.
  void RefreshNow();

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  void OnDataChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                     const QList<int>& roles);
  void OnRowsInserted(int first, int last);
  void OnRowsAboutToBeRemoved(int first, int last);
  void OnRowsRemoved(int first, int last);
  void OnReset();

  // Keys, filter results and order for the whole list.
  void Rebuild();
  // Every list index in the order of the keys (the list's own order when unsorted).
  void Sort(std::vector<int>& order) const;
  // The rows of order the filter passes.
  std::vector<int> ShownOf(const std::vector<int>& order) const;
  // shown_ and position_ := shown.
  void Show(std::vector<int> shown);
  void MarkWritten(int first, int last);

  // A change of order or of the rows shown, keeping the view's persistent indexes (its
  // current cell) on their rows.
  void BeginLayoutChange(QAbstractItemModel::LayoutChangeHint hint);
  void EndLayoutChange(QAbstractItemModel::LayoutChangeHint hint);

  ProxyList& list_;
  SortKeys keys_;
  bool descending_ = false;
  RowFilter filter_;
  RowTest test_;
  std::vector<char> passes_;   // per list index while the filter is active
  std::vector<int> order_;     // every list index, in view order
  std::vector<int> shown_;     // the list indices shown, in view order
  std::vector<int> position_;  // per list index: its view index, -1 when not shown
  int written_first_ = -1;     // list indices written since the last refresh
  int written_last_ = -1;
  bool unsorted_rows_ = false;      // rows were appended at the end of a sorted view
  bool removing_in_place_ = false;  // rows go as the list's rows go, not as a new layout
  QTimer refresh_;
  // Between the two halves of a layout change: the persistent indexes and their rows.
  QModelIndexList moving_;
  std::vector<std::pair<RowId, int>> moving_cells_;
};

}  // namespace ph
