#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace ph {

class ListStore;
class ProxyList;

// Keeps a store in step with the list: once rows change it saves within kSaveMs (so at most
// that often while they keep changing), and on Flush. A failed save is tried again with the
// next one and reported: always on Flush, at most once every kReportMs while the saves of
// the timer keep failing.
class StoreKeeper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kSaveMs = 5000;
  static constexpr int kReportMs = 60000;
  // How long Flush waits for a store that writes on a thread of its own.
  static constexpr int kFlushWaitMs = 5000;

  StoreKeeper(ProxyList& list, ListStore& store, std::function<void(const QString&)> report,
              QObject* parent = nullptr);

  // Saves now and waits until it is written; true when everything is.
  bool Flush();
  // Why the list is not safe in the store: the last save failed, or the store could not be
  // written now; nothing while it is. Writes nothing.
  std::optional<QString> Problem() const;

  // For tests: how soon after a change (or a failure) the next save comes.
  void SetSaveMs(int ms) { save_.setInterval(ms); }

 private:
  void Changed();
  bool Save(bool report_always);

  ProxyList& list_;
  ListStore& store_;
  std::function<void(const QString&)> report_;
  QTimer save_;
  std::optional<QString> failed_;  // the last save's failure
  QElapsedTimer reported_;  // since the last report of failures in a row; invalid after a success
};

}  // namespace ph
