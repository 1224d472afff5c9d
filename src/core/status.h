#pragma once

#include <QObject>
#include <QString>

namespace ph {

class ProxyList;

// The menu-bar commands that are shown only while their job may be running.
enum class MenuItem { StopGet, StopTest };

// What a status text reports: the progress of work, or a problem the user should read (a
// refusal, a failure, lines that could not be used).
enum class TextKind { kProgress, kProblem };

// The long jobs whose progress front ends show.
enum class Job { kValidation, kHarvest };

// What the status bar says, as values of the core: the status text with its kind, the row
// count (following the list by itself), the successes of the current validation run, the
// running probes, which stop commands are offered, and the progress of the jobs. Front ends
// observe these signals and show or log the values; nobody reads a number back from a label.
// Window's thread only.
class Status : public QObject {
  Q_OBJECT

 public:
  explicit Status(const ProxyList& list, QObject* parent = nullptr);

  const QString& Text() const { return text_; }
  TextKind Kind() const { return kind_; }
  // Every call is a new message, even when it repeats the last one.
  void SetText(const QString& text, TextKind kind = TextKind::kProgress);
  void SetProblem(const QString& text) { SetText(text, TextKind::kProblem); }

  int Rows() const { return rows_; }
  int Successes() const { return successes_; }
  void SetSuccesses(int successes);
  void AddSuccesses(int successes);
  int Workers() const { return workers_; }
  void SetWorkers(int workers);

  bool MenuItemVisible(MenuItem item) const;
  void SetMenuItemVisible(MenuItem item, bool visible);

  // A job's progress: done of total (0 of 0 while it cannot tell yet), and its end.
  void ReportProgress(Job job, int done, int total) { emit Progress(job, done, total); }
  void EndJob(Job job) { emit JobEnded(job); }

 signals:
  void TextChanged(const QString& text, ph::TextKind kind);
  void RowsChanged(int rows);
  void SuccessesChanged(int successes);
  void WorkersChanged(int workers);
  void MenuItemChanged(ph::MenuItem item, bool visible);
  void Progress(ph::Job job, int done, int total);
  void JobEnded(ph::Job job);

 private:
  void FollowRows();

  const ProxyList& list_;
  QString text_;
  TextKind kind_ = TextKind::kProgress;
  int rows_ = 0;
  int successes_ = 0;
  int workers_ = 0;
  bool stop_get_visible_ = false;
  bool stop_test_visible_ = false;
};

}  // namespace ph
