#pragma once

#include <QObject>
#include <QString>

namespace ph {

class ProxyList;

// The menu-bar commands that are shown only while their job may be running.
enum class MenuItem { StopGet, StopTest };

// What the status bar says, as values of the core: the status text (panel 7), the row count
// (panel 2, following the list by itself), the successes of the current validation run
// (panel 4) and the running workers (panel 6), and whether the stop commands are offered.
// Front ends show or log them; nobody reads a number back from a label. Window's thread only.
class Status : public QObject {
  Q_OBJECT

 public:
  explicit Status(const ProxyList& list, QObject* parent = nullptr);

  const QString& Text() const { return text_; }
  // Every call is a new message, even when it repeats the last one.
  void SetText(const QString& text);

  int Rows() const { return rows_; }
  int Successes() const { return successes_; }
  void SetSuccesses(int successes);
  void AddSuccesses(int successes);
  int Workers() const { return workers_; }
  void SetWorkers(int workers);

  bool MenuItemVisible(MenuItem item) const;
  void SetMenuItemVisible(MenuItem item, bool visible);

 signals:
  void TextChanged(const QString& text);
  void RowsChanged(int rows);
  void SuccessesChanged(int successes);
  void WorkersChanged(int workers);
  void MenuItemChanged(ph::MenuItem item, bool visible);

 private:
  void FollowRows();

  const ProxyList& list_;
  QString text_;
  int rows_ = 0;
  int successes_ = 0;
  int workers_ = 0;
  bool stop_get_visible_ = false;
  bool stop_test_visible_ = false;
};

}  // namespace ph
