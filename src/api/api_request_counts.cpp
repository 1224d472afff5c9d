#include "api/api_request_counts.h"

#include <algorithm>

namespace ph {

void ApiRequestCounts::Count(QLatin1StringView word) {
  if (word.isEmpty()) word = kUnknown;
  const auto it = std::find_if(counts_.begin(), counts_.end(),
                               [word](const auto& count) { return count.first == word; });
  if (it != counts_.end()) {
    ++it->second;
    return;
  }
  counts_.emplace_back(word, 1);
}

}  // namespace ph
