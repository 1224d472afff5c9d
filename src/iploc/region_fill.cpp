#include "iploc/region_fill.h"

#include "core/address_text.h"

#include <algorithm>

namespace ph {

bool OnlyBlanks(QStringView text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

RegionFill::RegionFill(ProxyList& list, const ProgramDir& dir, const Endpoints& endpoints,
                       QObject* parent)
    : QObject(parent), list_(list), walk_(dir, endpoints, this) {}

void RegionFill::Start(std::function<void()> done) {
  std::vector<RowId> ids;
  ids.reserve(static_cast<std::size_t>(list_.RowCount()));
  for (int row = 1; row <= list_.RowCount(); ++row) ids.push_back(list_.IdOf(row));
  Start(std::move(ids), std::move(done));
}

void RegionFill::Stop() { next_ = ids_.size(); }

void RegionFill::Start(std::vector<RowId> ids, std::function<void()> done) {
  ids_ = std::move(ids);
  next_ = 0;
  walk_.Start([this] { return Next(); }, [this](const QString& location) { Write(location); },
              [this] { Flush(); }, std::move(done));
}

std::optional<QString> RegionFill::Next() {
  while (next_ < ids_.size()) {
    const RowId id = ids_[next_++];
    const int row = list_.RowOf(id);
    if (row == 0 || !OnlyBlanks(list_.CellText(row, kRegion))) continue;
    const QString& address = list_.CellText(row, kAddress);
    if (!address.contains(u':')) continue;
    current_id_ = id;
    current_address_ = address;
    return AddressHost(address).toString();
  }
  return std::nullopt;
}

void RegionFill::Write(const QString& location) {
  const int row = list_.RowOf(current_id_);
  if (row == 0 || list_.CellText(row, kAddress) != current_address_ ||
      !OnlyBlanks(list_.CellText(row, kRegion)))
    return;
  list_.EntryForWrite(row).SetCell(kRegion, location);
  first_changed_ = first_changed_ == 0 ? row : std::min(first_changed_, row);
  last_changed_ = std::max(last_changed_, row);
}

void RegionFill::Flush() {
  // Rows written since the last turn of the event loop: no event ran between, so their
  // numbers still hold.
  if (first_changed_ != 0) list_.NotifyRowsChanged(first_changed_, last_changed_);
  first_changed_ = 0;
  last_changed_ = 0;
  emit Progress(static_cast<int>(next_), static_cast<int>(ids_.size()));
}

}  // namespace ph
