#include "iploc/region_fill.h"

#include "iploc/ip_location.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace ph {
namespace {

// Longest stretch of work between two turns of the event loop.
constexpr int kSliceMs = 30;

}  // namespace

bool OnlyBlanks(QStringView text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

RegionFill::RegionFill(ProxyList& list, const ProgramDir& dir, const Endpoints& endpoints,
                       QObject* parent)
    : QObject(parent), list_(list), dir_(dir), endpoints_(endpoints) {}

void RegionFill::Start(std::function<void()> done) {
  done_ = std::move(done);
  ids_.clear();
  ids_.reserve(static_cast<std::size_t>(list_.RowCount()));
  for (int row = 1; row <= list_.RowCount(); ++row) ids_.push_back(list_.IdOf(row));
  next_ = 0;
  Continue();
}

void RegionFill::Continue() {
  QElapsedTimer slice;
  slice.start();
  while (next_ < ids_.size() && !waiting_) {
    if (slice.elapsed() >= kSliceMs) {
      Flush();
      emit Progress(static_cast<int>(next_), static_cast<int>(ids_.size()));
      QTimer::singleShot(0, this, &RegionFill::Continue);
      return;
    }
    const RowId id = ids_[next_++];
    const int row = list_.RowOf(id);
    if (row == 0 || !OnlyBlanks(list_.CellText(row, kRegion))) continue;
    const QString address = list_.CellText(row, kAddress);
    const qsizetype colon = address.indexOf(u':');
    if (colon < 0) continue;
    const uint64_t answers_before = answers_;
    LookupIpLocationAsync(address.left(colon), dir_, endpoints_, this,
                          [this, id, address](const QString& location) {
                            ++answers_;
                            Write(id, address, location);
                          });
    if (answers_ == answers_before) {
      // Out on the web: the answer continues the walk.
      waiting_ = true;
      Flush();
      return;
    }
  }
  if (waiting_) return;
  Flush();
  emit Progress(static_cast<int>(next_), static_cast<int>(ids_.size()));
  if (next_ >= ids_.size() && done_) {
    auto done = std::move(done_);
    done_ = nullptr;
    done();
  }
}

void RegionFill::Write(RowId id, const QString& address, const QString& location) {
  const int row = list_.RowOf(id);
  if (row != 0 && list_.CellText(row, kAddress) == address &&
      OnlyBlanks(list_.CellText(row, kRegion))) {
    list_.EntryForWrite(row).SetCell(kRegion, location);
    first_changed_ = first_changed_ == 0 ? row : std::min(first_changed_, row);
    last_changed_ = std::max(last_changed_, row);
  }
  // An answer from the web continues the walk; one from the database came inside it.
  if (waiting_) {
    waiting_ = false;
    Flush();
    Continue();
  }
}

void RegionFill::Flush() {
  if (first_changed_ == 0) return;
  list_.NotifyRowsChanged(first_changed_, last_changed_);
  first_changed_ = 0;
  last_changed_ = 0;
}

}  // namespace ph
