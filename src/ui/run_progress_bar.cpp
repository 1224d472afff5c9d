#include "ui/run_progress_bar.h"

#include "harvest/harvest_control.h"
#include "harvest/harvest_run.h"
#include "validate/validation_run.h"

#include <algorithm>

namespace ph {

using namespace Qt::StringLiterals;

RunProgressBar::RunProgressBar(ValidationRuns& runs, HarvestControl& harvest, QWidget* parent)
    : QProgressBar(parent) {
  setObjectName(u"RunProgress"_s);
  setFormat(u"%v/%m"_s);
  hide();
  connect(&runs, &ValidationRuns::Progress, this,
          [this](int done, int total) { Report(validating_, done, total); });
  connect(&runs, &ValidationRuns::RunEnded, this, [this] { End(validating_); });
  connect(&harvest, &HarvestControl::RunStarted, this, [this](HarvestRun* run) {
    connect(run, &HarvestRun::Progress, this,
            [this](int done, int total) { Report(harvesting_, done, total); });
    connect(run, &HarvestRun::Finished, this, [this] { End(harvesting_); });
  });
}

void RunProgressBar::Report(bool& running, int done, int total) {
  running = true;
  // Nothing to count yet (0 of 0) shows as busy.
  setRange(0, std::max(total, 0));
  setValue(std::clamp(done, 0, maximum()));
  show();
}

void RunProgressBar::End(bool& running) {
  running = false;
  if (!validating_ && !harvesting_) hide();
}

}  // namespace ph
