#pragma once

#include "harvest/list_sources.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace ph {

// The public lists as the harvests found them, since the program started: each list's last
// harvest, what it added then and in all, and why it was last not read. Window's thread only.
class SourceTable {
 public:
  // A sources.ini may name any number of lists; past this many names the rest are not kept.
  static constexpr std::size_t kMostSources = 200;

  struct Entry {
    QString name;
    qint64 last_ms = 0;  // the last harvest that reached it, since the epoch
    int last_added = 0;
    int64_t added_total = 0;
    int64_t failures_total = 0;
    QString problem;  // of the last harvest; empty when it was read
  };

  void Note(const ListSourceOutcome& outcome, qint64 now_ms);
  // In the order first seen.
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

}  // namespace ph
