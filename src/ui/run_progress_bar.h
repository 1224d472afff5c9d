#pragma once

#include <QProgressBar>

namespace ph {

class HarvestControl;
class ValidationRuns;

// The progress bar of the status bar: entries validated of the entries to validate during a
// validation run; pages fetched of the pages to fetch, then rows located of the rows to locate,
// during a harvest. The latest report shows; hidden while neither runs.
class RunProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  RunProgressBar(ValidationRuns& runs, HarvestControl& harvest, QWidget* parent = nullptr);

 private:
  void Report(bool& running, int done, int total);
  void End(bool& running);

  bool validating_ = false;
  bool harvesting_ = false;
};

}  // namespace ph
