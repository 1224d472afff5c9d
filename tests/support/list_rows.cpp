#include "support/list_rows.h"

namespace ph::test {

using namespace Qt::StringLiterals;

NewRow ValidatedRow(const QString& address, const QString& region) {
  return {address,
          region,
          u"高匿"_s,
          u"成 功"_s,
          u"200"_s,
          u"True"_s,
          u"False"_s,
          u"321"_s,
          u"12-07 04:22:19"_s,
          u"4"_s,
          u"3"_s,
          u"75%"_s,
          u"2026/12/7 4:22:19"_s};
}

std::vector<NewRow> ValidatedRows(int count, int distinct, const QString& region) {
  std::vector<NewRow> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int n = i % distinct;
    rows.push_back(ValidatedRow(u"10.%1.%2.1:8080"_s.arg(n / 256).arg(n % 256), region));
  }
  return rows;
}

void SetCell(ProxyList& list, int row, int cell, const QString& text) {
  list.EntryForWrite(row).SetCell(cell, text);
  list.NotifyRowsChanged(row, row);
}

void RemoveRow(ProxyList& list, int row) {
  std::vector<bool> remove(static_cast<std::size_t>(list.RowCount()));
  if (row >= 1 && row <= list.RowCount()) remove[static_cast<std::size_t>(row - 1)] = true;
  list.RemoveRows(remove);
}

QColor ResultColour(const ProxyList& list, int row) {
  return list.data(list.index(row - 1, kTestResult), Qt::ForegroundRole).value<QColor>();
}

void SetResultColour(ProxyList& list, int row, const QColor& colour) {
  list.EntryForWrite(row).result_colour = colour.rgb();
  list.EntryForWrite(row).changed = true;
  list.NotifyRowsChanged(row, row);
}

}  // namespace ph::test
