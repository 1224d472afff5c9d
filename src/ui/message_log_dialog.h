#pragma once

#include <QDialog>

class QListView;

namespace ph {

class MessageLog;

// The window "消息记录": the message log, newest first, each line with its time. Lines can be
// selected and copied ("复制" or Ctrl+C; all lines when none is selected). It stays open beside
// the main window and follows the log as texts come.
class MessageLogDialog : public QDialog {
  Q_OBJECT

 public:
  MessageLogDialog(MessageLog& log, QWidget* parent);

  // The selected lines, or every line when none is selected, one a line, newest first.
  QString CopiedText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Copy();

  MessageLog& log_;
  QListView* lines_;
};

}  // namespace ph
