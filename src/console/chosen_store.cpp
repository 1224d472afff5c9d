#include "console/chosen_store.h"

#include "app/kept_list.h"

namespace ph {

using namespace Qt::StringLiterals;

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

std::optional<QString> ChosenStore::Load(ProxyList& list) {
  if (bad_url_) return u"数据库无法使用: "_s + *bad_url_;
  return LoadList(Store(), list);
}

ListStore& ChosenStore::Store() {
  if (file_) return *file_;
  return *pool_;
}

}  // namespace ph
