#pragma once

#include <QString>

#include <optional>

namespace ph {

// Why this process could not write the file at path and the journal SQLite keeps beside it;
// nothing when it could. Two system calls, writing nothing: cheap enough to ask often.
std::optional<QString> FileNotWritable(const QString& path);

// A store's SQLite file, held by this process alone. Before SQLite touches the file it is
// checked to be a regular file this process can write, in a directory it can write (SQLite
// writes its journal beside the file); then it is locked for as long as the hold lives, so a
// second program on the same file is refused instead of overwriting the first one's rows.
class DatabaseFileHold {
 public:
  DatabaseFileHold() = default;
  // Let go only after the SQLite connection to the file is closed.
  ~DatabaseFileHold();
  DatabaseFileHold(const DatabaseFileHold&) = delete;
  DatabaseFileHold& operator=(const DatabaseFileHold&) = delete;

  // Creates the file when it is missing; the reason, naming the file, when it cannot be used.
  std::optional<QString> Take(const QString& path);

 private:
  int fd_ = -1;
};

}  // namespace ph
