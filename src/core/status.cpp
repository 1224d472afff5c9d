#include "core/status.h"

#include "core/proxy_list.h"

#include <limits>

namespace ph {

Status::Status(const ProxyList& list, QObject* parent) : QObject(parent), list_(list) {
  rows_ = list_.RowCount();
  connect(&list_, &QAbstractItemModel::rowsInserted, this, &Status::FollowRows);
  connect(&list_, &QAbstractItemModel::rowsRemoved, this, &Status::FollowRows);
  connect(&list_, &QAbstractItemModel::modelReset, this, &Status::FollowRows);
}

void Status::FollowRows() {
  if (list_.RowCount() == rows_) return;
  rows_ = list_.RowCount();
  emit RowsChanged(rows_);
}

void Status::SetText(const QString& text, TextKind kind) {
  text_ = text;
  kind_ = kind;
  emit TextChanged(text_, kind_);
}

void Status::SetSuccesses(int successes) {
  if (successes == successes_) return;
  successes_ = successes;
  emit SuccessesChanged(successes_);
}

void Status::AddSuccesses(int successes) {
  if (successes <= 0) return;
  const long long sum = static_cast<long long>(successes_) + successes;
  SetSuccesses(static_cast<int>(std::min<long long>(sum, std::numeric_limits<int>::max())));
}

void Status::SetWorkers(int workers) {
  if (workers == workers_) return;
  workers_ = workers;
  emit WorkersChanged(workers_);
}

bool Status::MenuItemVisible(MenuItem item) const {
  return item == MenuItem::StopGet ? stop_get_visible_ : stop_test_visible_;
}

void Status::SetMenuItemVisible(MenuItem item, bool visible) {
  bool& current = item == MenuItem::StopGet ? stop_get_visible_ : stop_test_visible_;
  if (current == visible) return;
  current = visible;
  emit MenuItemChanged(item, visible);
}

}  // namespace ph
