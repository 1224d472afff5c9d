#pragma once

#include "store/list_store.h"
#include "store/shared_pool.h"
#include "store/sqlite_list_store.h"

#include <QString>

#include <memory>
#include <optional>

namespace ph {

// The store --db names: a postgresql:// (or postgres://) URL for a pool that several servers
// share, anything else for an SQLite file of this server's own.
class ChosenStore {
 public:
  ChosenStore(const QString& db, SharedPool::Log log);

  // Opens it and reads its rows into the empty list; the reason when it cannot be used.
  std::optional<QString> Load(ProxyList& list);
  // After a failed Open: a shared pool's database never answered, which may pass.
  bool Away() const { return pool_ && pool_->Away(); }
  ListStore& Store();
  // The shared pool, or null for a file.
  SharedPool* Pool() { return pool_.get(); }
  // How the log names it: a URL without its password.
  const QString& Shown() const { return shown_; }

 private:
  QString db_;
  QString shown_;
  std::optional<QString> bad_url_;
  std::unique_ptr<SqliteListStore> file_;
  std::unique_ptr<SharedPool> pool_;
};

}  // namespace ph
