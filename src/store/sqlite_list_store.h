#pragma once

#include "core/proxy_list.h"
#include "store/list_store.h"

#include <QString>

#include <optional>
#include <unordered_set>

namespace ph {

// The list in an SQLite file, one table row per list row, written in transactions in WAL mode
// so that a crash loses at most the last unsaved changes and never what was written before.
class SqliteListStore : public ListStore {
 public:
  explicit SqliteListStore(QString path);
  ~SqliteListStore() override;
  SqliteListStore(const SqliteListStore&) = delete;
  SqliteListStore& operator=(const SqliteListStore&) = delete;

  // Opens the file, creating it when missing. A file that is not an SQLite database, or holds
  // a table of that name that is not ours, is refused with the reason and left as it was.
  std::optional<QString> Open();

  std::optional<QString> Load(ProxyList& list) override;
  std::optional<QString> Save(ProxyList& list) override;

 private:
  QString path_;
  QString connection_;
  std::unordered_set<RowId> kept_;  // the ids in the file
};

}  // namespace ph
