#include "ui/list_view_model.h"

#include <algorithm>
#include <numeric>

namespace ph {

ListViewModel::ListViewModel(ProxyList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  refresh_.setSingleShot(true);
  refresh_.setInterval(kRefreshDelay);
  connect(&refresh_, &QTimer::timeout, this, &ListViewModel::RefreshNow);
  connect(&list_, &QAbstractItemModel::dataChanged, this, &ListViewModel::OnDataChanged);
  connect(&list_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { OnRowsInserted(first, last); });
  connect(&list_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) { OnRowsAboutToBeRemoved(first, last); });
  connect(&list_, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex&, int first, int last) { OnRowsRemoved(first, last); });
  connect(&list_, &QAbstractItemModel::modelAboutToBeReset, this, &ListViewModel::beginResetModel);
  connect(&list_, &QAbstractItemModel::modelReset, this, &ListViewModel::OnReset);
  Rebuild();
}

int ListViewModel::ListRow(int view_row) const {
  return view_row >= 1 && view_row <= Shown() ? shown_[static_cast<std::size_t>(view_row - 1)] + 1
                                              : 0;
}

int ListViewModel::ViewRow(int list_row) const {
  if (list_row < 1 || list_row > static_cast<int>(position_.size())) return 0;
  return position_[static_cast<std::size_t>(list_row - 1)] + 1;
}

void ListViewModel::SortBy(int column, Qt::SortOrder order) {
  BeginLayoutChange(QAbstractItemModel::VerticalSortHint);
  descending_ = order == Qt::DescendingOrder;
  keys_.Build(list_, column >= 0 && column < kCellCount ? column : -1);
  unsorted_rows_ = false;
  Sort(order_);
  Show(ShownOf(order_));
  EndLayoutChange(QAbstractItemModel::VerticalSortHint);
}

void ListViewModel::SetFilter(const RowFilter& filter) {
  if (filter == filter_) return;
  BeginLayoutChange(QAbstractItemModel::NoLayoutChangeHint);
  // Rows a narrower filter may pass are among those shown now: only they are asked again.
  const bool narrows = filter.Narrows(filter_) && !passes_.empty();
  filter_ = filter;
  test_ = RowTest(filter_);
  if (!filter_.Active()) {
    passes_.clear();
  } else if (narrows) {
    // In list order, not view order: the rows' cells are read from memory in the order they lie.
    for (int row = 0; row < list_.RowCount(); ++row) {
      char& passes = passes_[static_cast<std::size_t>(row)];
      if (passes) passes = test_.Passes(list_, row + 1);
    }
  } else {
    passes_.assign(static_cast<std::size_t>(list_.RowCount()), 0);
    for (int row = 0; row < list_.RowCount(); ++row)
      passes_[static_cast<std::size_t>(row)] = test_.Passes(list_, row + 1);
  }
  Show(ShownOf(order_));
  EndLayoutChange(QAbstractItemModel::NoLayoutChangeHint);
}

void ListViewModel::SelectShown(int first, int last, bool only) {
  first = std::max(first, 1);
  last = std::min(last, Shown());
  if (ShowsTheListAsItIs()) {
    if (only) {
      list_.SelectOnly(first, last);
    } else {
      list_.SetSelectedRange(first, last, true);
    }
    return;
  }
  std::vector<char> picked(static_cast<std::size_t>(list_.RowCount()));
  for (int row = first; row <= last; ++row)
    picked[static_cast<std::size_t>(shown_[static_cast<std::size_t>(row - 1)])] = 1;
  const auto pick = [&picked](int row) { return picked[static_cast<std::size_t>(row - 1)] != 0; };
  if (only) {
    list_.SelectOnlyWhere(pick);
  } else {
    list_.SelectWhere(pick);
  }
}

void ListViewModel::RefreshNow() {
  refresh_.stop();
  const int first = std::exchange(written_first_, -1);
  const int last = std::min(std::exchange(written_last_, -1), list_.RowCount() - 1);
  bool reorder = std::exchange(unsorted_rows_, false);
  if (first < 0 && !reorder) return;
  if (first >= 0) reorder = keys_.Update(list_, first, last) || reorder;
  bool refilter = false;
  if (filter_.Active()) {
    for (int row = std::max(first, 0); row <= last; ++row) {
      char& passes = passes_[static_cast<std::size_t>(row)];
      const char now = test_.Passes(list_, row + 1);
      refilter = refilter || now != passes;
      passes = now;
    }
  }
  if (!reorder && !refilter) return;
  std::vector<int> order = order_;
  if (reorder) Sort(order);
  std::vector<int> shown = ShownOf(order);
  order_ = std::move(order);
  if (shown == shown_) return;  // nothing moved on the screen
  BeginLayoutChange(QAbstractItemModel::NoLayoutChangeHint);
  Show(std::move(shown));
  EndLayoutChange(QAbstractItemModel::NoLayoutChangeHint);
}

void ListViewModel::OnDataChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                                  const QList<int>& roles) {
  const int first = top_left.row();
  const int last = bottom_right.row();
  // The view repaints the rows; scattered rows of a sorted view are one repaint of all.
  if (ShowsTheListAsItIs()) {
    emit dataChanged(index(first, top_left.column()), index(last, bottom_right.column()), roles);
  } else if (first == last) {
    const int row = ViewRow(first + 1) - 1;
    if (row >= 0)
      emit dataChanged(index(row, top_left.column()), index(row, bottom_right.column()), roles);
  } else if (Shown() > 0) {
    emit dataChanged(index(0, top_left.column()), index(Shown() - 1, bottom_right.column()), roles);
  }
  if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)) return;
  const int sorted = keys_.Column();
  const bool sorted_cell = sorted >= top_left.column() && sorted <= bottom_right.column();
  const bool filtered_cell =
      filter_.Active() && top_left.column() <= kTestResult && bottom_right.column() >= kAddress;
  if (sorted_cell || filtered_cell) MarkWritten(first, last);
}

void ListViewModel::MarkWritten(int first, int last) {
  written_first_ = written_first_ < 0 ? first : std::min(written_first_, first);
  written_last_ = std::max(written_last_, last);
  if (!refresh_.isActive()) refresh_.start();
}

void ListViewModel::OnRowsInserted(int first, int last) {
  const auto rows = static_cast<std::size_t>(list_.RowCount());
  keys_.Update(list_, first, last);
  if (filter_.Active()) passes_.resize(rows);
  position_.resize(rows, -1);
  std::vector<int> added;
  for (int row = first; row <= last; ++row) {
    order_.push_back(row);
    if (filter_.Active()) passes_[static_cast<std::size_t>(row)] = test_.Passes(list_, row + 1);
    if (passes_.empty() || passes_[static_cast<std::size_t>(row)]) added.push_back(row);
  }
  // New rows show at the end until the next refresh sorts them in.
  if (keys_.Column() >= 0) {
    unsorted_rows_ = true;
    if (!refresh_.isActive()) refresh_.start();
  }
  if (added.empty()) return;
  beginInsertRows({}, Shown(), Shown() + static_cast<int>(added.size()) - 1);
  for (const int row : added) {
    position_[static_cast<std::size_t>(row)] = Shown();
    shown_.push_back(row);
  }
  endInsertRows();
}

void ListViewModel::OnRowsAboutToBeRemoved(int first, int last) {
  removing_in_place_ = ShowsTheListAsItIs();
  if (removing_in_place_) {
    beginRemoveRows({}, first, last);
  } else {
    BeginLayoutChange(QAbstractItemModel::NoLayoutChangeHint);
  }
}

void ListViewModel::OnRowsRemoved(int first, int last) {
  const int count = last - first + 1;
  keys_.Remove(first, last);
  if (!passes_.empty()) passes_.erase(passes_.begin() + first, passes_.begin() + last + 1);
  const auto without_removed = [&](std::vector<int> rows) {
    std::erase_if(rows, [&](int row) { return row >= first && row <= last; });
    for (int& row : rows)
      if (row > last) row -= count;
    return rows;
  };
  order_ = without_removed(std::move(order_));
  Show(without_removed(std::move(shown_)));
  // Written rows after the removed ones moved up: look at all of them again.
  if (written_first_ >= 0) {
    written_first_ = std::min(written_first_, first);
    written_last_ = list_.RowCount() - 1;
  }
  if (removing_in_place_) {
    endRemoveRows();
  } else {
    EndLayoutChange(QAbstractItemModel::NoLayoutChangeHint);
  }
}

void ListViewModel::OnReset() {
  Rebuild();
  endResetModel();
}

void ListViewModel::Rebuild() {
  keys_.Build(list_, keys_.Column());
  passes_.clear();
  if (filter_.Active()) {
    passes_.resize(static_cast<std::size_t>(list_.RowCount()));
    for (int row = 0; row < list_.RowCount(); ++row)
      passes_[static_cast<std::size_t>(row)] = test_.Passes(list_, row + 1);
  }
  written_first_ = written_last_ = -1;
  unsorted_rows_ = false;
  Sort(order_);
  Show(ShownOf(order_));
}

void ListViewModel::Sort(std::vector<int>& order) const {
  if (keys_.Column() < 0 || order.size() != static_cast<std::size_t>(list_.RowCount())) {
    order.resize(static_cast<std::size_t>(list_.RowCount()));
    std::iota(order.begin(), order.end(), 0);
  }
  if (keys_.Column() < 0) return;
  std::sort(order.begin(), order.end(),
            [this](int a, int b) { return keys_.Before(a, b, descending_); });
}

std::vector<int> ListViewModel::ShownOf(const std::vector<int>& order) const {
  if (passes_.empty()) return order;
  std::vector<int> shown;
  shown.reserve(order.size());
  for (const int row : order)
    if (passes_[static_cast<std::size_t>(row)]) shown.push_back(row);
  return shown;
}

void ListViewModel::Show(std::vector<int> shown) {
  shown_ = std::move(shown);
  position_.assign(static_cast<std::size_t>(list_.RowCount()), -1);
  for (std::size_t at = 0; at < shown_.size(); ++at)
    position_[static_cast<std::size_t>(shown_[at])] = static_cast<int>(at);
}

void ListViewModel::BeginLayoutChange(QAbstractItemModel::LayoutChangeHint hint) {
  emit layoutAboutToBeChanged({}, hint);
  moving_ = persistentIndexList();
  moving_cells_.clear();
  for (const QModelIndex& index : moving_)
    moving_cells_.emplace_back(list_.IdOf(ListRow(index.row() + 1)), index.column());
}

void ListViewModel::EndLayoutChange(QAbstractItemModel::LayoutChangeHint hint) {
  QModelIndexList now;
  for (const auto& [id, column] : moving_cells_) {
    const int row = ViewRow(list_.RowOf(id));
    now.push_back(row > 0 ? index(row - 1, column) : QModelIndex());
  }
  changePersistentIndexList(moving_, now);
  moving_.clear();
  moving_cells_.clear();
  emit layoutChanged({}, hint);
}

int ListViewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Shown();
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kCellCount;
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Shown()) return {};
  return list_.data(list_.index(shown_[static_cast<std::size_t>(index.row())], index.column()),
                    role);
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return list_.headerData(section, orientation, role);
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= Shown()) return Qt::NoItemFlags;
  return list_.flags(list_.index(shown_[static_cast<std::size_t>(index.row())], index.column()));
}

}  // namespace ph
