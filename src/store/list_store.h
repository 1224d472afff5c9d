#pragma once

#include <QString>

#include <optional>

namespace ph {

class ProxyList;

// Where the list lives between runs of the headless program: an SQLite file of its own, or a
// PostgreSQL database that several instances share. A store keeps every row with all its cells.
class ListStore {
 public:
  virtual ~ListStore() = default;

  // Makes the store ready to load; the reason when it cannot be used.
  virtual std::optional<QString> Open() { return std::nullopt; }
  // Reads every kept row into the empty list. The reason when the store cannot be read.
  virtual std::optional<QString> Load(ProxyList& list) = 0;
  // Writes the rows written since the last load or save and forgets the rows removed
  // meanwhile: all of it or, with the reason, none of it.
  virtual std::optional<QString> Save(ProxyList& list) = 0;
  // Waits, at most this long, until what Save handed over is written, for a store that writes
  // on a thread of its own. The reason when it is not.
  virtual std::optional<QString> WaitWritten(int most_ms) {
    static_cast<void>(most_ms);
    return std::nullopt;
  }
  // Why the next Save could not write, as far as a cheap look without writing tells; nothing
  // when it could.
  virtual std::optional<QString> NotWritable() const { return std::nullopt; }
};

}  // namespace ph
