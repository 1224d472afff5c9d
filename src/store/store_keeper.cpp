#include "store/store_keeper.h"

#include "core/proxy_list.h"
#include "store/list_store.h"

namespace ph {

StoreKeeper::StoreKeeper(ProxyList& list, ListStore& store,
                         std::function<void(const QString&)> report, QObject* parent)
    : QObject(parent), list_(list), store_(store), report_(std::move(report)) {
  save_.setSingleShot(true);
  save_.setInterval(kSaveMs);
  connect(&save_, &QTimer::timeout, this, [this] { Save(false); });
  connect(&list_, &QAbstractItemModel::rowsInserted, this, &StoreKeeper::Changed);
  connect(&list_, &QAbstractItemModel::rowsRemoved, this, &StoreKeeper::Changed);
  connect(&list_, &QAbstractItemModel::modelReset, this, &StoreKeeper::Changed);
  connect(&list_, &QAbstractItemModel::dataChanged, this, &StoreKeeper::Changed);
}

void StoreKeeper::Changed() {
  if (!save_.isActive()) save_.start();
}

bool StoreKeeper::Flush() {
  if (!Save(true)) return false;
  const std::optional<QString> failure = store_.WaitWritten(kFlushWaitMs);
  if (failure) report_(*failure);
  return !failure;
}

std::optional<QString> StoreKeeper::Problem() const {
  if (failed_) return failed_;
  return store_.NotWritable();
}

bool StoreKeeper::Save(bool report_always) {
  save_.stop();
  const std::optional<QString> failure = store_.Save(list_);
  failed_ = failure;
  if (!failure) {
    reported_.invalidate();
    return true;
  }
  // A store that keeps failing (a full disk) would otherwise fill the log.
  if (report_always || !reported_.isValid() || reported_.elapsed() >= kReportMs) {
    report_(*failure);
    reported_.start();
  }
  save_.start();
  return false;
}

}  // namespace ph
