#pragma once

#include "core/proxy_list.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace ph {

class RotatingProxy;

// Keeps the rotating port's pool following the list: built at once, then every change to
// rows, their validation cells or the list as a whole rebuilds it, at most once per
// debounce_ms, and hands it to the port. The minimum success ratio is asked anew at each
// rebuild. Window's thread.
class PoolFeed : public QObject {
  Q_OBJECT

 public:
  PoolFeed(const ProxyList& list, RotatingProxy& proxy, std::function<double()> min_percent,
           QObject* parent = nullptr, int debounce_ms = kDebounceMs);

  // Rebuilds now, e.g. after the minimum changed.
  void Refresh();

  static constexpr int kDebounceMs = 500;

 private:
  void ListChanged();
  void CellsChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                    const QList<int>& roles);

  const ProxyList& list_;
  RotatingProxy& proxy_;
  std::function<double()> min_percent_;
  QTimer timer_;
};

}  // namespace ph
