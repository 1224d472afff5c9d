#include "store/store_keeper.h"

#include "core/proxy_list.h"
#include "store/list_store.h"

namespace ph {

StoreKeeper::StoreKeeper(ProxyList& list, ListStore& store,
                         std::function<void(const QString&)> report, QObject* parent)
    : QObject(parent), list_(list), store_(store), report_(std::move(report)) {
  save_.setSingleShot(true);
  save_.setInterval(kSaveMs);
  connect(&save_, &QTimer::timeout, this, &StoreKeeper::Flush);
  connect(&list_, &QAbstractItemModel::rowsInserted, this, &StoreKeeper::Changed);
  connect(&list_, &QAbstractItemModel::rowsRemoved, this, &StoreKeeper::Changed);
  connect(&list_, &QAbstractItemModel::modelReset, this, &StoreKeeper::Changed);
  connect(&list_, &QAbstractItemModel::dataChanged, this, &StoreKeeper::Changed);
}

void StoreKeeper::Changed() {
  if (!save_.isActive()) save_.start();
}

bool StoreKeeper::Flush() {
  save_.stop();
  if (const std::optional<QString> failure = store_.Save(list_)) {
    report_(*failure);
    save_.start();
    return false;
  }
  return true;
}

}  // namespace ph
