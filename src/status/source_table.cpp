#include "status/source_table.h"

#include <algorithm>

namespace ph {

void SourceTable::Note(const ListSourceOutcome& outcome, qint64 now_ms) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& entry) { return entry.name == outcome.name; });
  if (it == entries_.end()) {
    if (entries_.size() >= kMostSources) return;
    it = entries_.emplace(entries_.end());
    it->name = outcome.name;
  }
  it->last_ms = now_ms;
  it->last_added = outcome.added;
  it->added_total += outcome.added;
  if (!outcome.problem.isEmpty()) ++it->failures_total;
  it->problem = outcome.problem;
}

}  // namespace ph
