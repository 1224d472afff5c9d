#pragma once

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QTableView>

#include <memory>

namespace ph::bench {

// A shown table view over the model, set up as the main window sets up its list.
inline std::unique_ptr<QTableView> AttachedView(QAbstractItemModel& model) {
  auto view = std::make_unique<QTableView>();
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setModel(&model);
  view->resize(800, 400);
  view->show();
  QCoreApplication::processEvents();
  return view;
}

}  // namespace ph::bench
