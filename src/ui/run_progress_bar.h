#pragma once

#include "core/status.h"

#include <QProgressBar>

namespace ph {

// The progress bar of the status bar: entries validated of the entries to validate during a
// validation run; pages fetched of the pages to fetch, then rows located of the rows to locate,
// during a harvest. The latest report shows; hidden while neither runs.
class RunProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  RunProgressBar(const Status& status, QWidget* parent = nullptr);

 private:
  void Report(Job job, int done, int total);
  void End(Job job);

  bool validating_ = false;
  bool harvesting_ = false;
};

}  // namespace ph
