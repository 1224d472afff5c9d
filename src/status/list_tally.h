#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ph {

class ProxyList;

// The list's counts as its rows change: rows by the result of their last validation, by
// protocol, by anonymity level and by region. It follows the list's signals and keeps a few
// bytes per row, so a count is read without walking the list; a change walks only the rows it
// names (a reset, all of them). Window's thread only.
class ListTally : public QObject {
  Q_OBJECT

 public:
  enum class State : uint8_t { kWorking, kFailed, kUntested };
  enum class Protocol : uint8_t { kHttp, kSocks4, kSocks5 };
  enum class Level : uint8_t { kElite, kAnonymous, kTransparent, kUnknown };
  static constexpr int kStates = 3;
  static constexpr int kProtocols = 3;
  static constexpr int kLevels = 4;

  // Names for machines: "working", "http", "elite", ...
  static std::string_view Name(State state);
  static std::string_view Name(Protocol protocol);
  static std::string_view Name(Level level);

  explicit ListTally(const ProxyList& list, QObject* parent = nullptr);

  int Rows() const { return static_cast<int>(kinds_.size()); }
  int Count(State state) const { return states_[static_cast<std::size_t>(state)]; }
  int Count(Protocol protocol) const { return protocols_[static_cast<std::size_t>(protocol)]; }
  int Count(Level level) const { return levels_[static_cast<std::size_t>(level)]; }

  struct RegionCount {
    QString region;  // empty for rows without one
    int rows = 0;
  };
  // The regions with the most rows, most first (ties by text), at most n of them.
  std::vector<RegionCount> TopRegions(std::size_t n) const;
  // How many different regions the rows hold.
  int RegionCountTotal() const { return static_cast<int>(region_ids_.size()); }

 private:
  struct Kind {
    State state = State::kUntested;
    Protocol protocol = Protocol::kHttp;
    Level level = Level::kUnknown;
    uint32_t region = 0;
  };
  struct Region {
    QString text;
    int rows = 0;
  };

  // The kind of a list row (1-based); hint: the region id the row had, tried first.
  Kind KindOf(int row, uint32_t hint);
  uint32_t RegionId(const QString& text, uint32_t hint);
  void AddCounts(const Kind& kind, int sign);
  void AddRegion(uint32_t region, int sign);

  void Inserted(int first, int last);
  void Removing(int first, int last);
  void Changed(int first, int last);
  void Rebuild();

  const ProxyList& list_;
  std::vector<Kind> kinds_;  // one per row, in the list's order
  std::array<int, kStates> states_{};
  std::array<int, kProtocols> protocols_{};
  std::array<int, kLevels> levels_{};
  std::vector<Region> regions_;  // by id; an id whose rows went to 0 is reused
  QHash<QString, uint32_t> region_ids_;
  std::vector<uint32_t> free_regions_;
};

}  // namespace ph
