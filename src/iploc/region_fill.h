#pragma once

#include "core/endpoints.h"
#include "core/program_dir.h"
#include "core/proxy_list.h"

#include <QObject>

#include <functional>
#include <vector>

namespace ph {

// Fills in the region of every row whose region holds nothing but blanks and tabs and whose
// address has a ":", with the location of the text before the first ":". The rows are those
// of the list when it starts, visited in order and found again by identity: a row removed
// meanwhile is skipped, and a location is written only into the row whose address was looked
// up, and only while its region is still empty. It works in slices and lets window events run
// between them, also while a lookup waits for the web; done is called once at the end.
class RegionFill : public QObject {
  Q_OBJECT

 public:
  RegionFill(ProxyList& list, const ProgramDir& dir, const Endpoints& endpoints,
             QObject* parent = nullptr);

  // Starts on the list as it is now. Does the first slice before it returns.
  void Start(std::function<void()> done);

 signals:
  // Rows visited so far of the rows to visit.
  void Progress(int visited, int total);

 private:
  void Continue();
  void Write(RowId id, const QString& address, const QString& location);
  void Flush();

  ProxyList& list_;
  const ProgramDir& dir_;
  const Endpoints& endpoints_;
  std::vector<RowId> ids_;
  std::size_t next_ = 0;
  bool waiting_ = false;  // a lookup is out on the web
  uint64_t answers_ = 0;
  int first_changed_ = 0;
  int last_changed_ = 0;
  std::function<void()> done_;
};

// True when the text holds nothing but blanks and tabs.
bool OnlyBlanks(QStringView text);

}  // namespace ph
