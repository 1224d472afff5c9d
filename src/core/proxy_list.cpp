#include "core/proxy_list.h"

#include "core/literals.h"

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

const QString& ProxyEntry::Cell(int cell) const {
  static const QString kEmpty;
  if (cell < kHeadCells) return head_[static_cast<std::size_t>(cell)];
  return tail_ ? (*tail_)[static_cast<std::size_t>(cell - kHeadCells)] : kEmpty;
}

QString& ProxyEntry::MutableCell(int cell) {
  changed = true;
  if (cell < kHeadCells) return head_[static_cast<std::size_t>(cell)];
  if (!tail_) tail_ = std::make_unique<std::array<QString, kCellCount - kHeadCells>>();
  return (*tail_)[static_cast<std::size_t>(cell - kHeadCells)];
}

void ProxyEntry::SetCell(int cell, const QString& text) {
  if (text.isEmpty() && cell >= kHeadCells && !tail_) return;  // already empty
  MutableCell(cell) = text;
}

ProxyList::ProxyList(QObject* parent) : QAbstractTableModel(parent) {}

const std::array<QString, kCellCount>& ProxyList::Captions() {
  static const std::array<QString, kCellCount> captions{
      u"Index"_s,    u"IP及端口"_s, u"地区"_s,   u"代理类型"_s,    u"测试结果"_s,
      u"协议状态"_s, u"Http"_s,     u"Https"_s,  u"耗时(ms)"_s,    u"验证时间"_s,
      u"验证次数"_s, u"成功次数"_s, u"成功率"_s, u"初次验证时间"_s};
  return captions;
}

int ProxyList::AppendRow(const NewRow& cells) {
  const int row = RowCount() + 1;
  beginInsertRows({}, row - 1, row - 1);
  ProxyEntry& entry = NewEntry();
  entry.SetCell(kIndex, QString::number(row));
  for (int cell = 1; cell < kCellCount; ++cell) entry.SetCell(cell, cells[cell - 1]);
  endInsertRows();
  return row;
}

void ProxyList::AppendRows(const std::vector<NewRow>& rows) {
  if (rows.empty()) return;
  const int first = RowCount();
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  rows_.reserve(rows_.size() + rows.size());
  for (const NewRow& cells : rows) {
    ProxyEntry& entry = NewEntry();
    entry.SetCell(kIndex, QString::number(RowCount()));
    for (int cell = 1; cell < kCellCount; ++cell) entry.SetCell(cell, cells[cell - 1]);
  }
  endInsertRows();
}

ProxyEntry& ProxyList::NewEntry() {
  ProxyEntry& entry = rows_.emplace_back();
  entry.id = next_id_++;
  return entry;
}

RowId ProxyList::IdOf(int row) const { return ValidRow(row) ? At(row).id : 0; }

int ProxyList::RowOf(RowId id) const {
  if (id == 0 || rows_.empty()) return 0;
  // Without removals a row's number is its id: try that first.
  if (id <= rows_.size() && rows_[static_cast<std::size_t>(id - 1)].id == id)
    return static_cast<int>(id);
  const auto it =
      std::lower_bound(rows_.begin(), rows_.end(), id,
                       [](const ProxyEntry& entry, RowId wanted) { return entry.id < wanted; });
  if (it == rows_.end() || it->id != id) return 0;
  return static_cast<int>(it - rows_.begin()) + 1;
}

void ProxyList::RestoreRows(std::vector<StoredRow> rows) {
  if (rows.empty() || !rows_.empty()) return;
  std::sort(rows.begin(), rows.end(),
            [](const StoredRow& a, const StoredRow& b) { return a.id < b.id; });
  beginResetModel();
  rows_.reserve(rows.size());
  for (StoredRow& stored : rows) {
    if (stored.id == 0 || (!rows_.empty() && rows_.back().id == stored.id)) continue;
    ProxyEntry& entry = rows_.emplace_back();
    entry.id = stored.id;
    for (int cell = 0; cell < kCellCount; ++cell)
      entry.SetCell(cell, stored.cells[static_cast<std::size_t>(cell)]);
    entry.result_colour = stored.result_colour;
    entry.changed = false;
  }
  if (!rows_.empty()) next_id_ = std::max(next_id_, rows_.back().id + 1);
  endResetModel();
}

std::vector<RowId> ProxyList::ChangedRows() const {
  std::vector<RowId> ids;
  for (const ProxyEntry& entry : rows_)
    if (entry.changed) ids.push_back(entry.id);
  return ids;
}

void ProxyList::ClearChangedMarks() {
  for (ProxyEntry& entry : rows_) entry.changed = false;
}

const QString& ProxyList::CellText(int row, int cell) const {
  static const QString kEmpty;
  if (!ValidRow(row) || cell < 0 || cell >= kCellCount) return kEmpty;
  return At(row).Cell(cell);
}

bool ProxyList::Selected(int row) const { return ValidRow(row) && At(row).selected; }

void ProxyList::SetSelected(int row, bool selected) {
  if (!ValidRow(row) || At(row).selected == selected) return;
  At(row).selected = selected;
  NotifySelection(row, row);
}

void ProxyList::SetSelectedRange(int first, int last, bool selected) {
  first = std::max(first, 1);
  last = std::min(last, RowCount());
  if (first > last) return;
  for (int row = first; row <= last; ++row) At(row).selected = selected;
  NotifySelection(first, last);
}

void ProxyList::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void ProxyList::FillCells(const std::vector<int>& rows, int first_cell, int last_cell,
                          const QString& text) {
  first_cell = std::max(first_cell, 0);
  last_cell = std::min(last_cell, kCellCount - 1);
  int first_changed = 0;
  int last_changed = 0;
  for (const int row : rows) {
    if (!ValidRow(row)) continue;
    ProxyEntry& entry = At(row);
    for (int cell = first_cell; cell <= last_cell; ++cell) entry.SetCell(cell, text);
    if (first_changed == 0) first_changed = row;
    last_changed = std::max(last_changed, row);
  }
  if (first_changed > 0)
    emit dataChanged(index(first_changed - 1, first_cell), index(last_changed - 1, last_cell));
}

int ProxyList::RemoveRows(const std::vector<bool>& remove) {
  const int count = std::min(RowCount(), static_cast<int>(remove.size()));
  auto marked = [&](int row) { return row <= count && remove[static_cast<std::size_t>(row - 1)]; };
  // Contiguous runs of rows to remove, from the end, so positions still to visit stay put.
  std::vector<std::pair<int, int>> runs;
  for (int row = count; row >= 1;) {
    if (!marked(row)) {
      --row;
      continue;
    }
    const int last = row;
    while (row >= 1 && marked(row)) --row;
    runs.emplace_back(row + 1, last);
  }

  int removed = 0;
  constexpr std::size_t kMostRangesToSignal = 64;
  if (runs.size() <= kMostRangesToSignal) {
    for (const auto& [first, last] : runs) {
      beginRemoveRows({}, first - 1, last - 1);
      rows_.erase(rows_.begin() + (first - 1), rows_.begin() + last);
      endRemoveRows();
      removed += last - first + 1;
    }
    return removed;
  }
  // Many scattered runs: one compaction pass and one reset is far cheaper than moving the
  // rest of the list once per run.
  beginResetModel();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (marked(static_cast<int>(i) + 1)) continue;
    if (kept != i) rows_[kept] = std::move(rows_[i]);
    ++kept;
  }
  removed = static_cast<int>(rows_.size() - kept);
  rows_.resize(kept);
  endResetModel();
  return removed;
}

void ProxyList::RenumberIndex() {
  if (rows_.empty()) return;
  for (int row = 1; row <= RowCount(); ++row) At(row).SetCell(kIndex, QString::number(row));
  emit dataChanged(index(0, kIndex), index(RowCount() - 1, kIndex), {Qt::DisplayRole});
}

void ProxyList::SetAllSelected(bool selected) {
  if (rows_.empty()) return;
  for (ProxyEntry& entry : rows_) entry.selected = selected;
  NotifySelection(1, RowCount());
}

void ProxyList::SelectOnly(int first, int last) {
  if (rows_.empty()) return;
  for (int row = 1; row <= RowCount(); ++row) At(row).selected = row >= first && row <= last;
  NotifySelection(1, RowCount());
}

void ProxyList::NotifySelection(int first, int last) {
  emit dataChanged(index(first - 1, 0), index(last - 1, kCellCount - 1), {kSelectedRole});
}

void ProxyList::InvertSelection() {
  if (rows_.empty()) return;
  for (ProxyEntry& entry : rows_) entry.selected = !entry.selected;
  NotifySelection(1, RowCount());
}

void ProxyList::SelectWhere(const std::function<bool(int row)>& pick) {
  int first = 0;
  int last = 0;
  for (int row = 1; row <= RowCount(); ++row) {
    ProxyEntry& entry = At(row);
    if (entry.selected || !pick(row)) continue;
    entry.selected = true;
    if (first == 0) first = row;
    last = row;
  }
  if (first > 0) NotifySelection(first, last);
}

void ProxyList::SelectOnlyWhere(const std::function<bool(int row)>& pick) {
  if (rows_.empty()) return;
  for (int row = 1; row <= RowCount(); ++row) At(row).selected = pick(row);
  NotifySelection(1, RowCount());
}

std::vector<int> ProxyList::SelectedRows() const {
  std::vector<int> selected;
  for (int row = 1; row <= RowCount(); ++row)
    if (At(row).selected) selected.push_back(row);
  return selected;
}

ProxyEntry& ProxyList::EntryForWrite(int row) { return At(row); }

void ProxyList::NotifyRowsChanged(int first, int last) {
  emit dataChanged(index(first - 1, 0), index(last - 1, kCellCount - 1));
}

int ProxyList::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCount();
}

int ProxyList::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kCellCount;
}

QVariant ProxyList::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount()) return {};
  const ProxyEntry& entry = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) return entry.Cell(index.column());
  if (role == kSelectedRole) return entry.selected;
  if (role == Qt::ForegroundRole && index.column() == kTestResult && entry.result_colour != 0)
    return QColor::fromRgb(entry.result_colour);
  if (role == Qt::ToolTipRole && index.column() == kTestResult &&
      entry.failure != FailurePhase::kNone && entry.Cell(kTestResult) == kFailureText)
    return FailurePhaseName(entry.failure);
  return {};
}

QVariant ProxyList::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < kCellCount)
    return Captions()[static_cast<std::size_t>(section)];
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ProxyList::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace ph
