#include "ui/sort_keys.h"

#include "core/address_text.h"
#include "core/ipv4_text.h"
#include "core/numbers.h"
#include "core/proxy_list.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace ph {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A cell that starts with a number (after blanks); ReadNumber would read any other as 0.
double NumberKey(QStringView cell) {
  const auto first = std::find_if(cell.begin(), cell.end(), [](QChar c) { return !c.isSpace(); });
  if (first == cell.end()) return kNoValue;
  if (!IsDigit(*first) && *first != u'-' && *first != u'+' && *first != u'.') return kNoValue;
  return ReadNumber(cell);
}

// The numbers of a date and time in the order written: "2026/12/7 4:22:19" and
// "2026-12-07T04:22:19" give year, month, day, hour, minute, second, and "12-07 04:22:19" (a
// result record's time) the same without the year. At least a date, or no value.
double DateKey(QStringView cell) {
  std::array<int, 6> parts{};
  int count = 0;
  int year_digits = 0;
  for (qsizetype at = 0; at < cell.size() && count < 6;) {
    if (!IsDigit(cell[at])) {
      ++at;
      continue;
    }
    int value = 0;
    const qsizetype start = at;
    while (at < cell.size() && IsDigit(cell[at]) && at - start < 4)
      value = value * 10 + (cell[at++].unicode() - u'0');
    if (count == 0) year_digits = static_cast<int>(at - start);
    parts[static_cast<std::size_t>(count++)] = value;
  }
  const bool has_year = year_digits == 4;
  if (count < (has_year ? 3 : 2)) return kNoValue;
  // Year (0 where none is written), month, day, hour, minute and second as one number.
  std::array<int, 6> fields{};
  const int skip = has_year ? 0 : 1;
  for (int i = 0; i + skip < 6 && i < count; ++i)
    fields[static_cast<std::size_t>(i + skip)] = parts[static_cast<std::size_t>(i)];
  constexpr std::array<double, 6> kRadix{1, 13, 32, 24, 60, 60};
  double key = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) key = key * kRadix[i] + fields[i];
  return key;
}

// "1.2.3.4:80" and "socks5://1.2.3.4:80" by address, then port.
double AddressKey(QStringView cell) {
  const QStringView rest = SplitScheme(cell).rest;
  std::array<char, 21> latin{};  // "255.255.255.255:65535"
  if (rest.size() > static_cast<qsizetype>(latin.size())) return kNoValue;
  for (qsizetype i = 0; i < rest.size(); ++i) {
    if (rest[i].unicode() > 0x7f) return kNoValue;
    latin[static_cast<std::size_t>(i)] = static_cast<char>(rest[i].unicode());
  }
  const QByteArrayView text(latin.data(), rest.size());
  const std::optional<Ipv4Match> ip = Ipv4At(text, 0);
  if (!ip) return kNoValue;
  qsizetype at = ip->end;
  if (at == text.size()) return ip->ip * 65536.0;
  if (text[at] != ':') return kNoValue;
  ++at;
  const std::optional<uint32_t> port = PlainDecimalAt(text, at, 5, 65535);
  return port && at == text.size() ? ip->ip * 65536.0 + *port : kNoValue;
}

}  // namespace

void SortKeys::Build(const ProxyList& list, int column) {
  column_ = column;
  keys_.clear();
  ranks_.clear();
  if (column_ < 0) return;
  switch (column_) {
    case kIndex:
    case kProtocolStatus:
    case kElapsedMs:
    case kTestCount:
    case kSuccessCount:
    case kSuccessRatio:
      kind_ = Kind::kNumber;
      break;
    case kTestedAt:
    case kFirstTestedAt:
      kind_ = Kind::kDate;
      break;
    case kAddress:
      kind_ = Kind::kAddress;
      break;
    default:
      kind_ = Kind::kText;
      RankTexts(list);
      break;
  }
  keys_.resize(static_cast<std::size_t>(list.RowCount()));
  for (int row = 0; row < list.RowCount(); ++row)
    keys_[static_cast<std::size_t>(row)] = KeyOf(list.CellText(row + 1, column_));
}

void SortKeys::RankTexts(const ProxyList& list) {
  QStringList texts;
  QHash<QString, int> seen;
  for (int row = 1; row <= list.RowCount(); ++row) {
    const QString& text = list.CellText(row, column_);
    if (!text.isEmpty() && !seen.contains(text)) {
      seen.insert(text, 0);
      texts.push_back(text);
    }
  }
  // Few distinct texts (regions, types, results): ordered as the user's language orders them.
  std::sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) {
    return QString::localeAwareCompare(a, b) < 0;
  });
  for (int rank = 0; rank < texts.size(); ++rank) ranks_.insert(texts[rank], rank);
}

double SortKeys::KeyOf(const QString& cell) const {
  switch (kind_) {
    case Kind::kNumber:
      return NumberKey(cell);
    case Kind::kDate:
      return DateKey(cell);
    case Kind::kAddress:
      return AddressKey(cell);
    case Kind::kText:
      break;
  }
  const auto rank = ranks_.constFind(cell);
  return rank == ranks_.cend() ? kNoValue : *rank;
}

bool SortKeys::Update(const ProxyList& list, int first, int last) {
  if (column_ < 0) return false;
  keys_.resize(static_cast<std::size_t>(list.RowCount()), kNoValue);
  last = std::min(last, list.RowCount() - 1);
  bool changed = false;
  for (int row = std::max(first, 0); row <= last; ++row) {
    const QString& cell = list.CellText(row + 1, column_);
    if (kind_ == Kind::kText && !cell.isEmpty() && !ranks_.contains(cell)) {
      Build(list, column_);  // a text not seen before: the places of the others move
      return true;
    }
    double& key = keys_[static_cast<std::size_t>(row)];
    const double now = KeyOf(cell);
    // NaN never equals itself: compare "no value" apart.
    if (std::isnan(now) ? std::isnan(key) : now == key) continue;
    key = now;
    changed = true;
  }
  return changed;
}

void SortKeys::Remove(int first, int last) {
  if (column_ < 0) return;
  keys_.erase(keys_.begin() + first, keys_.begin() + last + 1);
}

bool SortKeys::Before(int a, int b, bool descending) const {
  const double key_a = keys_[static_cast<std::size_t>(a)];
  const double key_b = keys_[static_cast<std::size_t>(b)];
  const bool none_a = std::isnan(key_a);
  const bool none_b = std::isnan(key_b);
  if (none_a != none_b) return none_b;
  if (!none_a && key_a != key_b) return descending ? key_a > key_b : key_a < key_b;
  return a < b;
}

}  // namespace ph
