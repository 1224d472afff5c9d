#include "ui/run_progress_bar.h"

#include <algorithm>

namespace ph {

using namespace Qt::StringLiterals;

RunProgressBar::RunProgressBar(const Status& status, QWidget* parent) : QProgressBar(parent) {
  setObjectName(u"RunProgress"_s);
  setFormat(u"%v/%m"_s);
  hide();
  connect(&status, &Status::Progress, this, &RunProgressBar::Report);
  connect(&status, &Status::JobEnded, this, &RunProgressBar::End);
}

void RunProgressBar::Report(Job job, int done, int total) {
  (job == Job::kValidation ? validating_ : harvesting_) = true;
  // Nothing to count yet (0 of 0) shows as busy.
  setRange(0, std::max(total, 0));
  setValue(std::clamp(done, 0, maximum()));
  show();
}

void RunProgressBar::End(Job job) {
  (job == Job::kValidation ? validating_ : harvesting_) = false;
  if (!validating_ && !harvesting_) hide();
}

}  // namespace ph
