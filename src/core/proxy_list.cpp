#include "core/proxy_list.h"

#include "core/date_text.h"
#include "core/numbers.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QString kSuccessText = u"成 功"_s;
const QString kFailureText = u"失 败"_s;
const QRgb kGreen = qRgb(0, 255, 0);

// Value of "key=" up to the next ";", or "Nothing" when the key is absent.
std::string_view FieldValue(std::string_view line, std::string_view key) {
  const std::size_t at = line.find(key);
  if (at == std::string_view::npos) return "Nothing";
  const std::size_t begin = at + key.size();
  const std::size_t end = line.find(';', begin);
  return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

// Texts of whole numbers below 10000, made once each: counters, ratios and elapsed times
// repeat across rows, and sharing one QString per value saves an allocation per cell.
// Window's thread only, like the list.
const QString& SmallNumberText(int value) {
  static std::vector<QString> cache(10000);
  QString& text = cache[static_cast<std::size_t>(value)];
  if (text.isNull()) text = QString::number(value);
  return text;
}

QString NumberText(double value) {
  if (value >= 0 && value < 10000 && std::trunc(value) == value)
    return SmallNumberText(static_cast<int>(value));
  if (std::trunc(value) == value && std::fabs(value) < 1e15)
    return QString::number(static_cast<long long>(value));
  return QString::number(value, 'g', 15);
}

QString RatioText(int percent) {
  static std::vector<QString> cache(101);
  if (percent < 0 || percent > 100) return QString::number(percent) + u'%';
  QString& text = cache[static_cast<std::size_t>(percent)];
  if (text.isNull()) text = QString::number(percent) + u'%';
  return text;
}

// Record values copied into cells. Flags, small numbers and a repeated time text share
// their QString with earlier rows.
class ValueTexts {
 public:
  QString Get(std::string_view value) {
    static const QString kTrue = u"True"_s;
    static const QString kFalse = u"False"_s;
    static const QString kNothing = u"Nothing"_s;
    if (value == "True") return kTrue;
    if (value == "False") return kFalse;
    if (value == "Nothing") return kNothing;
    if (IsSmallNumber(value)) {
      int number = 0;
      for (const char c : value) number = number * 10 + (c - '0');
      return SmallNumberText(number);
    }
    if (value != last_raw_) {
      last_raw_ = value;
      last_text_ = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    }
    return last_text_;
  }

 private:
  // Plain digits without a leading zero, below 10000: the text a number cache holds.
  static bool IsSmallNumber(std::string_view value) {
    return !value.empty() && value.size() <= 4 && (value.size() == 1 || value[0] != '0') &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
  }

  std::string last_raw_;
  QString last_text_;
};

}  // namespace

const QString& ProxyEntry::Cell(int cell) const {
  static const QString kEmpty;
  if (cell < kHeadCells) return head_[static_cast<std::size_t>(cell)];
  return tail_ ? (*tail_)[static_cast<std::size_t>(cell - kHeadCells)] : kEmpty;
}

QString& ProxyEntry::MutableCell(int cell) {
  if (cell < kHeadCells) return head_[static_cast<std::size_t>(cell)];
  if (!tail_) tail_ = std::make_unique<std::array<QString, kCellCount - kHeadCells>>();
  return (*tail_)[static_cast<std::size_t>(cell - kHeadCells)];
}

void ProxyEntry::SetCell(int cell, const QString& text) {
  if (text.isEmpty() && cell >= kHeadCells && !tail_) return;  // already empty
  MutableCell(cell) = text;
}

ProxyList::ProxyList(QObject* parent) : QAbstractTableModel(parent) {}

const std::array<QString, kCellCount>& ProxyList::Captions() {
  static const std::array<QString, kCellCount> captions{
      u"Index"_s,    u"IP及端口"_s, u"地区"_s,     u"代理类型"_s, u"测试结果"_s,
      u"协议状态"_s, u"Http"_s,     u"Https"_s,    u"耗时(ms)"_s, u"验证时间"_s,
      u"验证次数"_s, u"成功次数"_s, u"成功率"_s,   u"初次验证时间"_s};
  return captions;
}

int ProxyList::AppendRow(const NewRow& cells) {
  const int row = RowCount() + 1;
  beginInsertRows({}, row - 1, row - 1);
  ProxyEntry& entry = rows_.emplace_back();
  entry.SetCell(kIndex, QString::number(row));
  for (int cell = 1; cell < kCellCount; ++cell) entry.SetCell(cell, cells[cell - 1]);
  endInsertRows();
  return row;
}

void ProxyList::AppendRows(const std::vector<NewRow>& rows) {
  if (rows.empty()) return;
  const int first = RowCount();
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  rows_.reserve(rows_.size() + rows.size());
  for (const NewRow& cells : rows) {
    ProxyEntry& entry = rows_.emplace_back();
    entry.SetCell(kIndex, QString::number(RowCount()));
    for (int cell = 1; cell < kCellCount; ++cell) entry.SetCell(cell, cells[cell - 1]);
  }
  endInsertRows();
}

const QString& ProxyList::CellText(int row, int cell) const {
  static const QString kEmpty;
  if (!ValidRow(row) || cell < 0 || cell >= kCellCount) return kEmpty;
  return At(row).Cell(cell);
}

void ProxyList::SetCellText(int row, int cell, const QString& text) {
  if (!ValidRow(row) || cell < 0 || cell >= kCellCount) return;
  At(row).SetCell(cell, text);
  const QModelIndex changed = index(row - 1, cell);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void ProxyList::RemoveRow(int row) {
  if (!ValidRow(row)) return;
  beginRemoveRows({}, row - 1, row - 1);
  rows_.erase(rows_.begin() + (row - 1));
  endRemoveRows();
}

bool ProxyList::Selected(int row) const { return ValidRow(row) && At(row).selected; }

void ProxyList::SetSelected(int row, bool selected) {
  if (!ValidRow(row) || At(row).selected == selected) return;
  At(row).selected = selected;
  NotifySelection(row, row);
}

void ProxyList::SetSelectedRange(int first, int last, bool selected) {
  first = std::max(first, 1);
  last = std::min(last, RowCount());
  if (first > last) return;
  for (int row = first; row <= last; ++row) At(row).selected = selected;
  NotifySelection(first, last);
}

QColor ProxyList::ResultColour(int row) const {
  if (!ValidRow(row) || At(row).result_colour == 0) return {};
  return QColor::fromRgb(At(row).result_colour);
}

void ProxyList::SetResultColour(int row, const QColor& colour) {
  if (!ValidRow(row)) return;
  At(row).result_colour = colour.isValid() ? colour.rgb() : 0;
  const QModelIndex changed = index(row - 1, kTestResult);
  emit dataChanged(changed, changed, {Qt::ForegroundRole});
}

void ProxyList::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void ProxyList::FillCells(const std::vector<int>& rows, int first_cell, int last_cell,
                          const QString& text) {
  first_cell = std::max(first_cell, 0);
  last_cell = std::min(last_cell, kCellCount - 1);
  int first_changed = 0;
  int last_changed = 0;
  for (const int row : rows) {
    if (!ValidRow(row)) continue;
    ProxyEntry& entry = At(row);
    for (int cell = first_cell; cell <= last_cell; ++cell) entry.SetCell(cell, text);
    if (first_changed == 0) first_changed = row;
    last_changed = std::max(last_changed, row);
  }
  if (first_changed > 0)
    emit dataChanged(index(first_changed - 1, first_cell), index(last_changed - 1, last_cell));
}

int ProxyList::RemoveRows(const std::vector<bool>& remove) {
  const int count = std::min(RowCount(), static_cast<int>(remove.size()));
  auto marked = [&](int row) { return row <= count && remove[static_cast<std::size_t>(row - 1)]; };
  // Contiguous runs of rows to remove, from the end, so positions still to visit stay put.
  std::vector<std::pair<int, int>> runs;
  for (int row = count; row >= 1;) {
    if (!marked(row)) {
      --row;
      continue;
    }
    const int last = row;
    while (row >= 1 && marked(row)) --row;
    runs.emplace_back(row + 1, last);
  }

  int removed = 0;
  constexpr std::size_t kMostRangesToSignal = 64;
  if (runs.size() <= kMostRangesToSignal) {
    for (const auto& [first, last] : runs) {
      beginRemoveRows({}, first - 1, last - 1);
      rows_.erase(rows_.begin() + (first - 1), rows_.begin() + last);
      endRemoveRows();
      removed += last - first + 1;
    }
    return removed;
  }
  // Many scattered runs: one compaction pass and one reset is far cheaper than moving the
  // rest of the list once per run.
  beginResetModel();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (marked(static_cast<int>(i) + 1)) continue;
    if (kept != i) rows_[kept] = std::move(rows_[i]);
    ++kept;
  }
  removed = static_cast<int>(rows_.size() - kept);
  rows_.resize(kept);
  endResetModel();
  return removed;
}

void ProxyList::RenumberIndex() {
  if (rows_.empty()) return;
  for (int row = 1; row <= RowCount(); ++row) At(row).SetCell(kIndex, QString::number(row));
  emit dataChanged(index(0, kIndex), index(RowCount() - 1, kIndex), {Qt::DisplayRole});
}

void ProxyList::SetAllSelected(bool selected) {
  if (rows_.empty()) return;
  for (ProxyEntry& entry : rows_) entry.selected = selected;
  NotifySelection(1, RowCount());
}

void ProxyList::SelectOnly(int first, int last) {
  if (rows_.empty()) return;
  for (int row = 1; row <= RowCount(); ++row) At(row).selected = row >= first && row <= last;
  NotifySelection(1, RowCount());
}

void ProxyList::NotifySelection(int first, int last) {
  emit dataChanged(index(first - 1, 0), index(last - 1, kCellCount - 1), {kSelectedRole});
}

void ProxyList::InvertSelection() {
  if (rows_.empty()) return;
  for (ProxyEntry& entry : rows_) entry.selected = !entry.selected;
  NotifySelection(1, RowCount());
}

void ProxyList::SelectWhere(const std::function<bool(int row)>& pick) {
  int first = 0;
  int last = 0;
  for (int row = 1; row <= RowCount(); ++row) {
    ProxyEntry& entry = At(row);
    if (entry.selected || !pick(row)) continue;
    entry.selected = true;
    if (first == 0) first = row;
    last = row;
  }
  if (first > 0) NotifySelection(first, last);
}

std::vector<int> ProxyList::SelectedRows() const {
  std::vector<int> selected;
  for (int row = 1; row <= RowCount(); ++row)
    if (At(row).selected) selected.push_back(row);
  return selected;
}

int ProxyList::ApplyResults(std::string_view records) {
  int successes = 0;
  int first_changed = -1;
  int last_changed = -1;
  QString now_text;  // one first-validation time for the whole drain
  ValueTexts values;

  std::size_t pos = 0;
  while (pos < records.size()) {
    std::size_t end = records.find("\r\n", pos);
    if (end == std::string_view::npos) end = records.size();
    const std::string_view line = records.substr(pos, end - pos);
    pos = end + 2;
    if (line.find('=') == std::string_view::npos) continue;

    const double lvid = RoundHalfEven(ReadNumber(FieldValue(line, "lvid=")));
    if (lvid < 1 || lvid > RowCount()) continue;
    const int row = static_cast<int>(lvid);
    ProxyEntry& entry = At(row);
    auto cell = [&entry](int number) -> QString& { return entry.MutableCell(number); };

    const double tests = ReadNumber(cell(kTestCount)) + 1;
    double wins = ReadNumber(cell(kSuccessCount));
    if (ReadNumber(FieldValue(line, "suc=")) > 0) {
      cell(kTestResult) = kSuccessText;
      entry.result_colour = kGreen;
      ++successes;
      wins += 1;
      cell(kSuccessCount) = NumberText(wins);
    } else {
      cell(kTestResult) = kFailureText;
    }
    cell(kTestCount) = NumberText(tests);
    cell(kSuccessRatio) = RatioText(RatioPercent(wins, tests));
    cell(kProtocolStatus) = values.Get(FieldValue(line, "statu="));
    cell(kHttpOk) = values.Get(FieldValue(line, "http="));
    cell(kHttpsOk) = values.Get(FieldValue(line, "https="));
    cell(kElapsedMs) = values.Get(FieldValue(line, "timeout="));
    cell(kTestedAt) = values.Get(FieldValue(line, "time="));
    if (!ParsesAsDateTime(cell(kFirstTestedAt))) {
      if (now_text.isEmpty()) now_text = GeneralDateTimeText(QDateTime::currentDateTime());
      cell(kFirstTestedAt) = now_text;
    }

    first_changed = first_changed < 0 ? row : std::min(first_changed, row);
    last_changed = std::max(last_changed, row);
  }

  if (first_changed > 0)
    emit dataChanged(index(first_changed - 1, 0), index(last_changed - 1, kCellCount - 1));
  return successes;
}

int ProxyList::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCount();
}

int ProxyList::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kCellCount;
}

QVariant ProxyList::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount()) return {};
  const ProxyEntry& entry = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) return entry.Cell(index.column());
  if (role == kSelectedRole) return entry.selected;
  if (role == Qt::ForegroundRole && index.column() == kTestResult && entry.result_colour != 0)
    return QColor::fromRgb(entry.result_colour);
  return {};
}

QVariant ProxyList::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < kCellCount)
    return Captions()[static_cast<std::size_t>(section)];
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ProxyList::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace ph
