#pragma once

#include <QHash>
#include <QString>

#include <vector>

namespace ph {

class ProxyList;

// The order of one column of the list as the view sorts it: numbers as numbers (Index, 协议状态,
// 耗时, 验证次数, 成功次数, 成功率), dates as dates (验证时间, 初次验证时间), addresses by IPv4
// address and port, other texts by text. Each row gets a key once, so that a sort compares
// numbers and never reads a cell; a cell without a value sorts after all others either way.
// Rows are list indices (the row number less one).
class SortKeys {
 public:
  // Keys of every row for the column; -1 for none.
  void Build(const ProxyList& list, int column);
  // Rows first..last were written, or added at the end of the list: their keys again.
  // Returns whether a key changed.
  bool Update(const ProxyList& list, int first, int last);
  // Rows first..last left the list.
  void Remove(int first, int last);

  int Column() const { return column_; }
  // Whether row a comes before row b in the column's ascending order, or with descending in
  // its descending order. Rows without a value come last, and equal keys in list order.
  bool Before(int a, int b, bool descending) const;

 private:
  enum class Kind { kText, kNumber, kDate, kAddress };

  double KeyOf(const QString& cell) const;
  void RankTexts(const ProxyList& list);

  int column_ = -1;
  Kind kind_ = Kind::kText;
  std::vector<double> keys_;
  QHash<QString, int> ranks_;  // a text column's texts, by their place in text order
};

}  // namespace ph
