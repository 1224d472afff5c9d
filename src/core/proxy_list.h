#pragma once

#include "core/failure_phase.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace ph {

// Cell numbers of a row.
enum Cell : int {
  kIndex = 0,
  kAddress = 1,
  kRegion = 2,
  kProxyType = 3,
  kTestResult = 4,
  kProtocolStatus = 5,
  kHttpOk = 6,
  kHttpsOk = 7,
  kElapsedMs = 8,
  kTestedAt = 9,
  kTestCount = 10,
  kSuccessCount = 11,
  kSuccessRatio = 12,
  kFirstTestedAt = 13,
};
inline constexpr int kCellCount = 14;

// A row's identity for its whole life: given at append, never reused, and rising in row order
// (rows are only appended at the end and never reordered). 0 names no row.
using RowId = uint64_t;

// One row: 14 text cells, the selected flag and the colour of the result cell.
// The validation cells (4 to 13) are made on their first non-empty write, so a large list
// that was never validated stays small.
class ProxyEntry {
 public:
  const QString& Cell(int cell) const;
  QString& MutableCell(int cell);
  void SetCell(int cell, const QString& text);

  RowId id = 0;
  QRgb result_colour = 0;  // 0: the view's default colour
  bool selected = false;
  // Where the last probe failed, for the result cell's tool tip while it shows a failure.
  FailurePhase failure = FailurePhase::kNone;
  // Set by every write to a cell (a new row counts as written); a copy of the list kept
  // elsewhere collects and clears the marks to write only what changed.
  bool changed = true;

 private:
  static constexpr int kHeadCells = 4;
  std::array<QString, kHeadCells> head_;
  std::unique_ptr<std::array<QString, kCellCount - kHeadCells>> tail_;
};

// Cells 1 to 13 of a row to append; cell 0 is set by the list.
using NewRow = std::array<QString, kCellCount - 1>;

// The one list of proxy entries, shown by the list view. Rows are addressed by their
// current 1-based position (the row number); whatever comes back to a row after window events
// have run (a probe's result, a location found on the web) finds it by its RowId instead,
// since its number may have moved. Window's thread only.
class ProxyList : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ProxyList(QObject* parent = nullptr);

  // The row's selected flag, as a bool. The flag is the one truth the view paints; a change
  // is a dataChanged with this role.
  static constexpr int kSelectedRole = Qt::UserRole + 1;

  static const std::array<QString, kCellCount>& Captions();

  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Appends one row, its Index the row count plus one; returns its row number.
  int AppendRow(const NewRow& cells = {});
  // Appends many rows with one view update.
  void AppendRows(const std::vector<NewRow>& rows);

  // A row as it was kept: its identity, all 14 cells and its result colour.
  struct StoredRow {
    RowId id = 0;
    std::array<QString, kCellCount> cells;
    QRgb result_colour = 0;
  };
  // Puts kept rows back into an empty list, in the order of their ids, which they keep; later
  // rows get ids after theirs. The rows count as unchanged.
  void RestoreRows(std::vector<StoredRow> rows);
  // The ids of the rows written since the marks were last cleared.
  std::vector<RowId> ChangedRows() const;
  void ClearChangedMarks();

  // The row's identity, 0 for a row number outside the list.
  RowId IdOf(int row) const;
  // The row number of a row, 0 once it is gone.
  int RowOf(RowId id) const;

  const QString& CellText(int row, int cell) const;
  bool Selected(int row) const;
  void SetSelected(int row, bool selected);
  // Rows first..last (row numbers) at once, with one notification.
  void SetSelectedRange(int first, int last, bool selected);
  void Clear();
  // Cells first..last of the given rows (row numbers, ascending) := text, one view update.
  void FillCells(const std::vector<int>& rows, int first_cell, int last_cell,
                 const QString& text = {});
  // Removes the rows whose flag is set (remove[row - 1]); later rows move up.
  // Returns how many were removed.
  int RemoveRows(const std::vector<bool>& remove);
  // Index of every row := its row number.
  void RenumberIndex();

  // Bulk selection, one notification each.
  void SetAllSelected(bool selected);
  // Exactly rows first..last selected, every other row not.
  void SelectOnly(int first, int last);
  void InvertSelection();
  // Selects the rows the predicate picks; the others keep their flags.
  void SelectWhere(const std::function<bool(int row)>& pick);
  // Exactly the rows the predicate picks selected, every other row not.
  void SelectOnlyWhere(const std::function<bool(int row)>& pick);
  std::vector<int> SelectedRows() const;

  // The row itself (row valid), for readers of many cells at once.
  const ProxyEntry& Entry(int row) const { return At(row); }
  // For writers of many cells at once: the row to change in place (row valid), and then one
  // notification for the rows changed.
  ProxyEntry& EntryForWrite(int row);
  void NotifyRowsChanged(int first, int last);

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool ValidRow(int row) const { return row >= 1 && row <= RowCount(); }
  void NotifySelection(int first, int last);
  ProxyEntry& At(int row) { return rows_[static_cast<std::size_t>(row - 1)]; }
  const ProxyEntry& At(int row) const { return rows_[static_cast<std::size_t>(row - 1)]; }

  ProxyEntry& NewEntry();

  std::vector<ProxyEntry> rows_;
  RowId next_id_ = 1;
};

}  // namespace ph
