#pragma once

#include "ui/row_filter.h"

#include <QWidget>

#include <array>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace ph {

class ListViewModel;

// The bar above the list that narrows the view: the field "筛选" (address, region or type
// holding the text), 仅成功 (successful rows only) and one toggle per protocol (none pressed:
// every protocol), and how many rows show while it narrows. Every edit filters at once.
class FilterBar : public QWidget {
  Q_OBJECT

 public:
  FilterBar(ListViewModel& rows, QWidget* parent);

 private:
  RowFilter Current() const;
  void ShowCount();

  ListViewModel& rows_;
  QLineEdit* text_;
  QCheckBox* successful_;
  std::array<QAbstractButton*, 3> protocols_{};
  QLabel* count_;
};

}  // namespace ph
