#pragma once

#include <QString>

#include <optional>

namespace ph {

class ProxyList;

// Where the list lives between runs of the headless program. A store keeps every row with
// all its cells and its identity; a shared server database could stand behind the same
// interface.
class ListStore {
 public:
  virtual ~ListStore() = default;

  // Reads every kept row into the empty list. The reason when the store cannot be read.
  virtual std::optional<QString> Load(ProxyList& list) = 0;
  // Writes the rows written since the last load or save and forgets the rows removed
  // meanwhile: all of it or, with the reason, none of it.
  virtual std::optional<QString> Save(ProxyList& list) = 0;
  // Why the next Save could not write, as far as a cheap look without writing tells; nothing
  // when it could.
  virtual std::optional<QString> NotWritable() const { return std::nullopt; }
};

}  // namespace ph
