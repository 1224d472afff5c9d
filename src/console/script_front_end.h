#pragma once

#include "console/unattended_front_end.h"
#include "core/status.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdio>

namespace ph {

// How the sub-commands for scripts show their progress on standard error.
struct ProgressStyle {
  bool terminal = false;  // a bar redrawn in place; else a line every 5 s
  bool quiet = false;     // no progress at all; problems are still said
};

// The progress line of a job: counts, rate and time left ("已验证 5000/10000 (50%) 成功 37
// 812 个/秒 剩余 0:06"). For a validation count is the successes and the rate that of entries
// validated; for a harvest count is the addresses found and the rate theirs.
QString ProgressLine(Job job, int done, int total, int count, double seconds);
// "[#####-----]": done of total in width characters.
QString ProgressBar(int done, int total, int width);

// The front end of "check" and "harvest": the progress of their one job on standard error,
// problems and messages as lines of their own. Standard output stays the data's.
class ScriptFrontEnd : public QObject, public UnattendedFrontEnd {
  Q_OBJECT

 public:
  ScriptFrontEnd(const Status& status, Job job, ProgressStyle style, std::FILE* err = stderr,
                 QObject* parent = nullptr);

  // A line of its own; the bar, if shown, is drawn again below it.
  void Say(const QString& line) override;
  // The progress stops and the closing line follows (unless quiet).
  void Finish(const QString& closing);
  // Seconds since the job started.
  double Seconds() const;

 private:
  void OnText(const QString& text, TextKind kind);
  void OnProgress(Job job, int done, int total);
  void Show();
  int Count() const;

  const Status& status_;
  const Job job_;
  const ProgressStyle style_;
  std::FILE* err_;
  const int rows_at_start_;
  QElapsedTimer clock_;
  QTimer repeat_;  // redraws the bar, or writes the next line
  int done_ = 0;
  int total_ = 0;
  bool bar_shown_ = false;
  bool finished_ = false;
};

}  // namespace ph
