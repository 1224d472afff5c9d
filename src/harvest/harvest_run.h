#pragma once

#include "harvest/list_sources.h"
#include "harvest/sources.h"
#include "iploc/location_walk.h"
#include "iploc/region_fill.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace ph {

class AppState;

// One harvest: the ticked Xicidaili categories page by page, then the 66ip API, then the
// public lists of "sources.ini", then the region of every row that still has none. It runs
// as steps driven by answers and timers on the window's thread, so window events run all the
// while. Rows are made complete (address, region, type) before they go into the list, a
// page's, a reply's or a list's rows in one batch, so nothing that runs meanwhile can mix one
// proxy's cells into another's row.
class HarvestRun : public QObject {
  Q_OBJECT

 public:
  explicit HarvestRun(AppState& state, QObject* parent = nullptr);

  void Start();
  // The run ends at its next page or list boundary, adding nothing it fetches after now.
  void Stop() { stop_asked_ = true; }
  bool StopAsked() const { return stop_asked_; }

  // The pause after the 66ip API had no data.
  void SetNoDataPauseMs(int ms) { no_data_pause_ms_ = ms; }
  // Where the public lists are named; "sources.ini" in the program directory unless set.
  void SetSourcesPath(const QString& path) { sources_path_ = path; }
  // Whether the run ends by locating the rows still without a region.
  void SetRegionFill(bool on) { region_fill_ = on; }

 signals:
  // The run is over, however it ended.
  void Finished();
  // The run went on to a source: a category of the list site, the 66ip API, a public list.
  void SourceStarted(const QString& name);
  // A public list was read (or not), and its addresses went into the list.
  void ListSourceRead(const ph::ListSourceOutcome& outcome);

 private:
  void NextPage();
  void OnPage(const QString& page);
  void Start66ip();
  void On66ipReply(const QString& reply);
  void StartListSources();
  void NextListSource();
  void OnList(const FetchedBody& body);
  void FillIn();
  void Finish();
  void End();

  // Looks up the rows' locations, then appends them all at once and goes on with then.
  void AppendLocated(std::vector<HarvestedRow> rows, std::function<void()> then);
  // Waits the harvest delay as the panel says it now, then goes on with then.
  void Pause(std::function<void()> then);
  void After(int ms, std::function<void()> then);
  int PagesToFetch() const;

  // Pages fetched of the pages to fetch, then public lists read of the lists to read, then
  // rows located of the rows to locate.
  void ReportProgress(int done, int total);
  bool KeepGoing() const { return !stop_asked_; }

  AppState& state_;
  bool stop_asked_ = false;
  LocationWalk walk_;
  RegionFill fill_;
  QTimer pause_;
  int no_data_pause_ms_ = 3000;
  std::size_t category_ = 0;
  bool in_category_ = false;
  int page_ = 0;
  int pages_done_ = 0;
  QString sources_path_;
  bool region_fill_ = true;
  std::vector<ListSource> list_sources_;
  std::size_t source_ = 0;
  SeenAddresses seen_;  // the list addresses of this harvest so far
};

}  // namespace ph
