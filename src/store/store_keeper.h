#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace ph {

class ListStore;
class ProxyList;

// Keeps a store in step with the list: once rows change it saves within kSaveMs (so at most
// that often while they keep changing), and on Flush. A failed save is reported and tried
// again with the next one.
class StoreKeeper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kSaveMs = 5000;

  StoreKeeper(ProxyList& list, ListStore& store, std::function<void(const QString&)> report,
              QObject* parent = nullptr);

  // Saves now; true when everything is written.
  bool Flush();

 private:
  void Changed();

  ProxyList& list_;
  ListStore& store_;
  std::function<void(const QString&)> report_;
  QTimer save_;
};

}  // namespace ph
