#pragma once

#include "core/endpoints.h"
#include "core/program_dir.h"
#include "core/proxy_list.h"
#include "iploc/location_walk.h"

#include <QObject>

#include <functional>
#include <vector>

namespace ph {

// Fills in the region of every row whose region holds nothing but blanks and tabs and whose
// address has a ":", with the location of the address's host. The rows are those
// of the list when it starts, visited in order and found again by identity: a row removed
// meanwhile is skipped, and a location is written only into the row whose address was looked
// up, and only while its region is still empty. Window events run while it works; done is
// called once at the end.
class RegionFill : public QObject {
  Q_OBJECT

 public:
  RegionFill(ProxyList& list, const ProgramDir& dir, const Endpoints& endpoints,
             QObject* parent = nullptr);

  // Starts on the list as it is now. Does the first slice before it returns.
  void Start(std::function<void()> done);
  // Starts on these rows only.
  void Start(std::vector<RowId> ids, std::function<void()> done);
  // Visits no more rows: the walk ends once the lookup under way has answered.
  void Stop();

 signals:
  // Rows visited so far of the rows to visit.
  void Progress(int visited, int total);

 private:
  std::optional<QString> Next();
  void Write(const QString& location);
  void Flush();

  ProxyList& list_;
  LocationWalk walk_;
  std::vector<RowId> ids_;
  std::size_t next_ = 0;
  RowId current_id_ = 0;  // the row whose address is being looked up
  QString current_address_;
  int first_changed_ = 0;
  int last_changed_ = 0;
};

// True when the text holds nothing but blanks and tabs.
bool OnlyBlanks(QStringView text);

}  // namespace ph
