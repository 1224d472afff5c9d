#pragma once

#include <QLatin1StringView>

#include <cstdint>
#include <utility>
#include <vector>

namespace ph {

// The control API's requests by the command they asked for, since the program started: the
// wire word, or "unknown" for a word no command has. Window's thread only.
class ApiRequestCounts {
 public:
  static constexpr QLatin1StringView kUnknown{"unknown"};

  // word: a command's wire word (a view of the static table), empty for an unknown one.
  void Count(QLatin1StringView word);
  // Each word asked for at least once, in the order first asked, with its count.
  const std::vector<std::pair<QLatin1StringView, int64_t>>& Counts() const { return counts_; }

 private:
  // A handful of words: a list beats a map.
  std::vector<std::pair<QLatin1StringView, int64_t>> counts_;
};

}  // namespace ph
