#include "rotate/pool_feed.h"

#include "rotate/pool_rows.h"
#include "rotate/rotating_proxy.h"

namespace ph {
namespace {

// Whether a change to cells first..last can change the pool.
bool PoolCells(int first, int last) {
  for (const int cell : {kAddress, kRegion, kProxyType, kTestResult, kElapsedMs, kSuccessRatio})
    if (cell >= first && cell <= last) return true;
  return false;
}

}  // namespace

PoolFeed::PoolFeed(const ProxyList& list, RotatingProxy& proxy, std::function<double()> min_percent,
                   QObject* parent, int debounce_ms)
    : QObject(parent), list_(list), proxy_(proxy), min_percent_(std::move(min_percent)) {
  timer_.setSingleShot(true);
  timer_.setInterval(debounce_ms);
  connect(&timer_, &QTimer::timeout, this, &PoolFeed::Refresh);
  connect(&list_, &QAbstractItemModel::rowsInserted, this, &PoolFeed::ListChanged);
  connect(&list_, &QAbstractItemModel::rowsRemoved, this, &PoolFeed::ListChanged);
  connect(&list_, &QAbstractItemModel::modelReset, this, &PoolFeed::ListChanged);
  connect(&list_, &QAbstractItemModel::layoutChanged, this, &PoolFeed::ListChanged);
  connect(&list_, &QAbstractItemModel::dataChanged, this, &PoolFeed::CellsChanged);
  Refresh();
}

void PoolFeed::Refresh() {
  timer_.stop();
  proxy_.SetPool(std::make_shared<const Pool>(PoolFromList(list_, min_percent_())));
}

void PoolFeed::ListChanged() {
  if (!timer_.isActive()) timer_.start();
}

void PoolFeed::CellsChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                            const QList<int>& roles) {
  // Selection flags and colours are no concern of the pool.
  if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)) return;
  if (PoolCells(top_left.column(), bottom_right.column())) ListChanged();
}

}  // namespace ph
