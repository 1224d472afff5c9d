#include "iploc/qqwry.h"

#include "core/gbk.h"
#include "core/program_dir.h"
#include "iploc/database_file.h"
#include "iploc/file_bytes.h"

#include <QList>
#include <QStringView>

#include <algorithm>
#include <cstring>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kHeaderSize = 8;
constexpr int kIndexRecordSize = 7;
constexpr int kRangeEndSize = 5;
constexpr int kOffsetSize = 3;
// Real databases jump at most twice (mode 1, then mode 2); more is a loop or a hostile file.
constexpr int kMaxRedirections = 8;
// Bytes of one location text at most.
constexpr int kMaxTextBytes = 1024;
// Offsets inside the header and the first bytes behind it never hold a text.
constexpr int64_t kFirstTextOffset = 12;
// 255.255.255.0 and up: a mode-1 record whose texts stand behind the redirection.
constexpr uint32_t kTopRangeStart = 0xFFFFFF00u;
constexpr int kTopRangeCountry = 12;
constexpr int kTopRangeArea = 21;

// The web domain the publisher writes where a record has no text of its own.
const QString kPlaceholder = u"CZ88.NET"_s;
const QString kUnknown = u"未知"_s;

// A whole decimal number, blanks around and a sign allowed; anything else is 0.
uint32_t PartValue(QStringView part) {
  part = part.trimmed();
  if (!part.isEmpty() && (part.front() == u'+' || part.front() == u'-')) part = part.sliced(1);
  if (part.isEmpty()) return 0;
  uint32_t value = 0;
  for (const QChar c : part) {
    if (c < u'0' || c > u'9') return 0;
    value = std::min<uint32_t>(value * 10 + (c.unicode() - u'0'), 256);
  }
  return std::min<uint32_t>(value, 255);
}

QString TrimSpaces(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first] == u' ') ++first;
  while (last > first && text[last - 1] == u' ') --last;
  return first == 0 && last == text.size() ? text : text.sliced(first, last - first);
}

QString WithoutPlaceholder(const QString& text) {
  return text.contains(kPlaceholder) ? kUnknown : text;
}

// floor(difference / 7), also for a header whose last offset lies before its first.
int32_t RecordsBetween(uint32_t first, uint32_t last) {
  const int64_t difference = int64_t{last} - int64_t{first};
  const int64_t records = difference >= 0
                              ? difference / kIndexRecordSize
                              : -((-difference + kIndexRecordSize - 1) / kIndexRecordSize);
  return static_cast<int32_t>(records);
}

}  // namespace

QQWry::QQWry(DatabaseFile file) : QQWryFile(std::move(file.path)), stream_(std::move(file.bytes)) {}

QQWry::~QQWry() = default;

std::optional<uint32_t> QQWry::Iptoint(const QString& IP) {
  const QList<QStringView> parts = QStringView(IP).split(u'.');
  if (parts.size() < 4) return std::nullopt;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | PartValue(parts[i]);
  return value;
}

int16_t QQWry::Lookup(const QString& DotIP) {
  const std::optional<uint32_t> ip = Iptoint(DotIP);
  if (!ip) return 0;
  if (!stream_unused_) stream_ = FileBytes::Open(QQWryFile);
  stream_unused_ = false;
  position_ = 0;
  if (!ReadFixed(kHeaderSize)) return 0;
  FirstStartIP = BufNumber(0, 4);
  LastStartIP = BufNumber(4, 4);
  RecordCount = RecordsBetween(FirstStartIP, LastStartIP);
  if (RecordCount <= 1) {
    Country = kUnknown;
    return 2;
  }

  // The last index record is never chosen: an address at or above its start ends on the
  // record before it.
  int32_t low = 0;
  int32_t high = RecordCount;
  while (low < high - 1) {
    const int32_t RecNo = low + (high - low) / 2;
    const std::optional<uint32_t> start = ReadIndexEntry(RecNo);
    if (!start) return 0;
    if (*ip == *start) {
      low = RecNo;
      break;
    }
    if (*ip > *start) {
      low = RecNo;
    } else {
      high = RecNo;
    }
  }
  if (!ReadIndexEntry(low) || !ReadRangeEnd()) return 0;
  const int16_t status = RangeStartIP <= *ip && *ip <= RangeEndIP ? 0 : 3;
  return ReadLocation(*ip) ? status : 0;
}

std::optional<uint32_t> QQWry::ReadIndexEntry(int32_t RecNo) {
  OffSet = int64_t{FirstStartIP} + int64_t{RecNo} * kIndexRecordSize;
  position_ = OffSet;
  if (!ReadFixed(kIndexRecordSize)) return std::nullopt;
  RangeStartIP = BufNumber(0, 4);
  InfoOffset = BufNumber(4, 3);
  return RangeStartIP;
}

std::optional<uint32_t> QQWry::ReadRangeEnd() {
  position_ = InfoOffset;
  if (!ReadFixed(kRangeEndSize)) return std::nullopt;
  RangeEndIP = BufNumber(0, 4);
  InfoMode = static_cast<uint8_t>(Buf[4]);
  return RangeEndIP;
}

bool QQWry::ReadLocation(uint32_t IP) {
  // Offsets are 32-bit, as the file stores them; a moved InfoOffset may wrap and comes back.
  auto at = [this](uint32_t distance) {
    return int64_t{static_cast<uint32_t>(InfoOffset + distance)};
  };
  if (InfoMode == 1 || InfoMode == 2) {
    if (!ReadTextAt(at(4), Country)) return false;
    // Reading the country may have met a mode-2 jump, which changes InfoMode and InfoOffset.
    if (InfoMode == 1) {
      if (!ReadTextAt(position_, LocalStr)) return false;
      if (IP >= kTopRangeStart &&
          (!ReadTextAt(at(kTopRangeArea), LocalStr) || !ReadTextAt(at(kTopRangeCountry), Country)))
        return false;
    } else if (!ReadTextAt(at(8), LocalStr)) {
      return false;
    }
  } else if (!ReadTextAt(at(4), Country) || !ReadTextAt(position_, LocalStr)) {
    return false;
  }
  Country = WithoutPlaceholder(TrimSpaces(Country));
  LocalStr = WithoutPlaceholder(TrimSpaces(LocalStr));
  return true;
}

bool QQWry::ReadTextAt(int64_t offset, QString& text) {
  std::optional<QString> read = ReadRedirectedString(offset);
  if (!read) return false;
  text = std::move(*read);
  return true;
}

std::optional<QString> QQWry::ReadRedirectedString(int64_t Offset) {
  for (int jumps = 0;; ++jumps) {
    position_ = Offset;
    const std::optional<uint8_t> flag = ReadByte();
    if (!flag) return std::nullopt;
    if (*flag != 1 && *flag != 2) break;
    if (jumps == kMaxRedirections || !ReadFixed(kOffsetSize)) return std::nullopt;
    if (*flag == 2) {
      // InfoOffset + 8 now names the area data behind this 4-byte jump.
      InfoMode = 2;
      InfoOffset = static_cast<uint32_t>(Offset - 4);
    }
    Offset = BufNumber(0, kOffsetSize);
  }
  if (Offset < kFirstTextOffset) return QString();
  position_ = Offset;
  return ReadCString();
}

std::optional<QString> QQWry::ReadCString() {
  QString text;
  // Real location texts are under 100 bytes; a hostile file's endless one is cut here.
  for (int bytes = 0; bytes < kMaxTextBytes; ++bytes) {
    const std::optional<uint8_t> c = ReadByte();
    if (!c) return std::nullopt;  // the text runs to the end of the file
    if (*c == 0) return text;
    if (*c < 0x80) {
      text.append(QChar(char16_t{*c}));
    } else if (AtEnd()) {
      return text;  // a lone lead byte at the very end is dropped
    } else {
      text.append(GbkPairToChar(*c, *ReadByte()));
      ++bytes;
    }
  }
  return text;
}

bool QQWry::ReadFixed(int count) {
  const QByteArrayView bytes = stream_ ? stream_->Bytes() : QByteArrayView();
  const int64_t available =
      position_ < 0 ? 0 : std::clamp<int64_t>(bytes.size() - position_, 0, count);
  Buf.resize(available);
  if (available > 0)
    std::memcpy(Buf.data(), bytes.data() + position_, static_cast<std::size_t>(available));
  position_ += available;
  return available == count;
}

std::optional<uint8_t> QQWry::ReadByte() {
  if (AtEnd()) return std::nullopt;
  return static_cast<uint8_t>(stream_->Bytes()[position_++]);
}

bool QQWry::AtEnd() const {
  return !stream_ || position_ < 0 || position_ >= stream_->Bytes().size();
}

uint32_t QQWry::BufNumber(int first, int count) const {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(Buf[first + i]);
  return value;
}

}  // namespace ph
