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

// Most values repeat on every row; sharing one QString for them saves an allocation per cell.
QString ValueText(std::string_view value) {
  static const QString kTrue = u"True"_s;
  static const QString kFalse = u"False"_s;
  static const QString kNothing = u"Nothing"_s;
  static const QString kZero = u"0"_s;
  static const QString k200 = u"200"_s;
  if (value == "True") return kTrue;
  if (value == "False") return kFalse;
  if (value == "Nothing") return kNothing;
  if (value == "0") return kZero;
  if (value == "200") return k200;
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QString NumberText(double value) {
  if (std::trunc(value) == value && std::fabs(value) < 1e15)
    return QString::number(static_cast<long long>(value));
  return QString::number(value, 'g', 15);
}

}  // namespace

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
  entry.cells[kIndex] = QString::number(row);
  std::copy(cells.begin(), cells.end(), entry.cells.begin() + 1);
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
    entry.cells[kIndex] = QString::number(RowCount());
    std::copy(cells.begin(), cells.end(), entry.cells.begin() + 1);
  }
  endInsertRows();
}

const QString& ProxyList::CellText(int row, int cell) const {
  static const QString kEmpty;
  if (!ValidRow(row) || cell < 0 || cell >= kCellCount) return kEmpty;
  return At(row).cells[static_cast<std::size_t>(cell)];
}

void ProxyList::SetCellText(int row, int cell, const QString& text) {
  if (!ValidRow(row) || cell < 0 || cell >= kCellCount) return;
  At(row).cells[static_cast<std::size_t>(cell)] = text;
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
  emit SelectionFlagsChanged(row, row);
}

void ProxyList::SetSelectedRange(int first, int last, bool selected) {
  first = std::max(first, 1);
  last = std::min(last, RowCount());
  if (first > last) return;
  for (int row = first; row <= last; ++row) At(row).selected = selected;
  emit SelectionFlagsChanged(first, last);
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

int ProxyList::ApplyResults(std::string_view records) {
  int successes = 0;
  int first_changed = -1;
  int last_changed = -1;
  QString now_text;  // one first-validation time for the whole drain

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
    auto& cells = entry.cells;

    const double tests = ReadNumber(cells[kTestCount]) + 1;
    double wins = ReadNumber(cells[kSuccessCount]);
    if (ReadNumber(FieldValue(line, "suc=")) > 0) {
      cells[kTestResult] = kSuccessText;
      entry.result_colour = kGreen;
      ++successes;
      wins += 1;
      cells[kSuccessCount] = NumberText(wins);
    } else {
      cells[kTestResult] = kFailureText;
    }
    cells[kTestCount] = NumberText(tests);
    cells[kSuccessRatio] = QString::number(RatioPercent(wins, tests)) + u'%';
    cells[kProtocolStatus] = ValueText(FieldValue(line, "statu="));
    cells[kHttpOk] = ValueText(FieldValue(line, "http="));
    cells[kHttpsOk] = ValueText(FieldValue(line, "https="));
    cells[kElapsedMs] = ValueText(FieldValue(line, "timeout="));
    cells[kTestedAt] = ValueText(FieldValue(line, "time="));
    if (!ParsesAsDateTime(cells[kFirstTestedAt])) {
      if (now_text.isEmpty()) now_text = GeneralDateTimeText(QDateTime::currentDateTime());
      cells[kFirstTestedAt] = now_text;
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
  if (role == Qt::DisplayRole) return entry.cells[static_cast<std::size_t>(index.column())];
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
