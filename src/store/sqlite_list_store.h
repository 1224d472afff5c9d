#pragma once

#include "core/proxy_list.h"
#include "store/database_file_hold.h"
#include "store/list_store.h"

#include <QString>

#include <optional>
#include <unordered_set>

namespace ph {

// The list in an SQLite file, one table row per list row, written in transactions in WAL mode
// so that a crash loses at most the last unsaved changes and never what was written before.
// One process at a time holds the file.
class SqliteListStore : public ListStore {
 public:
  explicit SqliteListStore(QString path);
  ~SqliteListStore() override;
  SqliteListStore(const SqliteListStore&) = delete;
  SqliteListStore& operator=(const SqliteListStore&) = delete;

  // Opens the file, creating it when missing. A file this process cannot write or that
  // another process holds, a file that is not an SQLite database, one that holds tables of
  // another program, or a table of our name that is not ours, is refused with the reason and
  // left as it was.
  std::optional<QString> Open() override;

  // Row ids are counted up from 1; a stored id outside 1 to this is refused at load, as
  // the ids after it would not fit SQLite's integer.
  static constexpr RowId kMostRowId = RowId{1} << 53;

  std::optional<QString> Load(ProxyList& list) override;
  std::optional<QString> Save(ProxyList& list) override;
  std::optional<QString> NotWritable() const override { return FileNotWritable(path_); }

 private:
  QString path_;
  DatabaseFileHold hold_;  // let go after the connection is closed
  QString connection_;
  std::unordered_set<RowId> kept_;  // the ids in the file
};

}  // namespace ph
