#include "status/list_tally.h"

#include "core/literals.h"
#include "core/proxy_list.h"

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

ListTally::State StateOf(const QString& result) {
  if (result == kSuccessText) return ListTally::State::kWorking;
  if (result == kFailureText) return ListTally::State::kFailed;
  return ListTally::State::kUntested;
}

ListTally::Protocol ProtocolOf(const QString& address) {
  if (address.startsWith(u"socks5://"_s)) return ListTally::Protocol::kSocks5;
  if (address.startsWith(u"socks4://"_s)) return ListTally::Protocol::kSocks4;
  return ListTally::Protocol::kHttp;
}

// The judge's three levels, and the list site's "透明(普通)" as transparent.
ListTally::Level LevelOf(const QString& type) {
  if (type.isEmpty()) return ListTally::Level::kUnknown;
  if (type == u"高匿"_s) return ListTally::Level::kElite;
  if (type == u"普通匿名"_s) return ListTally::Level::kAnonymous;
  if (type.startsWith(u"透明"_s)) return ListTally::Level::kTransparent;
  return ListTally::Level::kUnknown;
}

// Cells that make up a row's kind; a change of any other cell leaves every count as it was.
bool TouchesKind(int first_cell, int last_cell) {
  return first_cell <= kTestResult && last_cell >= kAddress;
}

}  // namespace

std::string_view ListTally::Name(State state) {
  constexpr std::array<std::string_view, kStates> kNames{"working", "failed", "untested"};
  return kNames[static_cast<std::size_t>(state)];
}

std::string_view ListTally::Name(Protocol protocol) {
  constexpr std::array<std::string_view, kProtocols> kNames{"http", "socks4", "socks5"};
  return kNames[static_cast<std::size_t>(protocol)];
}

std::string_view ListTally::Name(Level level) {
  constexpr std::array<std::string_view, kLevels> kNames{"elite", "anonymous", "transparent",
                                                         "unknown"};
  return kNames[static_cast<std::size_t>(level)];
}

ListTally::ListTally(const ProxyList& list, QObject* parent) : QObject(parent), list_(list) {
  connect(&list_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { Inserted(first + 1, last + 1); });
  connect(&list_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) { Removing(first + 1, last + 1); });
  connect(&list_, &QAbstractItemModel::modelReset, this, &ListTally::Rebuild);
  connect(&list_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& top_left, const QModelIndex& bottom_right,
                 const QList<int>& roles) {
            // Selections and renumbering change no count.
            if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)) return;
            if (!TouchesKind(top_left.column(), bottom_right.column())) return;
            Changed(top_left.row() + 1, bottom_right.row() + 1);
          });
  Rebuild();
}

uint32_t ListTally::RegionId(const QString& text, uint32_t hint) {
  if (hint < regions_.size() && regions_[hint].rows > 0 && regions_[hint].text == text) return hint;
  if (const auto it = region_ids_.constFind(text); it != region_ids_.cend()) return *it;
  uint32_t id = 0;
  if (!free_regions_.empty()) {
    id = free_regions_.back();
    free_regions_.pop_back();
    regions_[id].text = text;
  } else {
    id = static_cast<uint32_t>(regions_.size());
    regions_.push_back({text, 0});
  }
  region_ids_.insert(text, id);
  return id;
}

ListTally::Kind ListTally::KindOf(int row, uint32_t hint) {
  const ProxyEntry& entry = list_.Entry(row);
  return {StateOf(entry.Cell(kTestResult)), ProtocolOf(entry.Cell(kAddress)),
          LevelOf(entry.Cell(kProxyType)), RegionId(entry.Cell(kRegion), hint)};
}

void ListTally::AddRegion(uint32_t region, int sign) {
  Region& entry = regions_[region];
  entry.rows += sign;
  if (entry.rows > 0) return;
  // Gone from every row: its id is free again, so regions that come and go stay bounded.
  region_ids_.remove(entry.text);
  entry.text.clear();
  free_regions_.push_back(region);
}

void ListTally::AddCounts(const Kind& kind, int sign) {
  states_[static_cast<std::size_t>(kind.state)] += sign;
  protocols_[static_cast<std::size_t>(kind.protocol)] += sign;
  levels_[static_cast<std::size_t>(kind.level)] += sign;
}

void ListTally::Inserted(int first, int last) {
  const auto at = kinds_.begin() + (first - 1);
  kinds_.insert(at, static_cast<std::size_t>(last - first + 1), Kind{});
  // Rows come in batches from one source: the region of the row before is the likeliest.
  uint32_t hint = first > 1 ? kinds_[static_cast<std::size_t>(first - 2)].region : 0;
  for (int row = first; row <= last; ++row) {
    Kind& kind = kinds_[static_cast<std::size_t>(row - 1)];
    kind = KindOf(row, hint);
    AddCounts(kind, 1);
    AddRegion(kind.region, 1);
    hint = kind.region;
  }
}

void ListTally::Removing(int first, int last) {
  const auto begin = kinds_.begin() + (first - 1);
  const auto end = kinds_.begin() + last;
  for (auto it = begin; it != end; ++it) {
    AddCounts(*it, -1);
    AddRegion(it->region, -1);
  }
  kinds_.erase(begin, end);
}

void ListTally::Changed(int first, int last) {
  last = std::min(last, Rows());
  for (int row = std::max(first, 1); row <= last; ++row) {
    Kind& kind = kinds_[static_cast<std::size_t>(row - 1)];
    const Kind now = KindOf(row, kind.region);
    if (now.region != kind.region) {
      // The new region is counted before the old one may go, so neither id is reused for
      // the other.
      AddRegion(now.region, 1);
      AddRegion(kind.region, -1);
    }
    if (now.state != kind.state || now.protocol != kind.protocol || now.level != kind.level) {
      AddCounts(kind, -1);
      AddCounts(now, 1);
    }
    kind = now;
  }
}

void ListTally::Rebuild() {
  kinds_.clear();
  states_ = {};
  protocols_ = {};
  levels_ = {};
  regions_.clear();
  region_ids_.clear();
  free_regions_.clear();
  Inserted(1, list_.RowCount());
}

std::vector<ListTally::RegionCount> ListTally::TopRegions(std::size_t n) const {
  std::vector<const Region*> counted;
  counted.reserve(region_ids_.size());
  for (const Region& region : regions_)
    if (region.rows > 0) counted.push_back(&region);
  const auto more = [](const Region* a, const Region* b) {
    return a->rows != b->rows ? a->rows > b->rows : a->text < b->text;
  };
  const std::size_t shown = std::min(n, counted.size());
  std::partial_sort(counted.begin(), counted.begin() + static_cast<std::ptrdiff_t>(shown),
                    counted.end(), more);
  std::vector<RegionCount> top;
  top.reserve(shown);
  for (std::size_t i = 0; i < shown; ++i) top.push_back({counted[i]->text, counted[i]->rows});
  return top;
}

}  // namespace ph
