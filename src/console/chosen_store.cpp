#include "console/chosen_store.h"

namespace ph {

ChosenStore::ChosenStore(const QString& db, SharedPool::Log log) : db_(db), shown_(db) {
  if (!IsPgUrl(db)) {
    file_ = std::make_unique<SqliteListStore>(db);
    return;
  }
  PgTarget target;
  bad_url_ = ReadPgUrl(db, target);
  shown_ = bad_url_ ? QString() : target.Shown();
  if (!bad_url_) pool_ = std::make_unique<SharedPool>(std::move(target), std::move(log));
}

std::optional<QString> ChosenStore::Open() {
  if (bad_url_) return bad_url_;
  return file_ ? file_->Open() : pool_->Open();
}

ListStore& ChosenStore::Store() {
  if (file_) return *file_;
  return *pool_;
}

}  // namespace ph
