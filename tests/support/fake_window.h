#pragma once

#include "core/front_end.h"
#include "core/status.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <vector>

namespace ph::test {

// Records what the core asks of its front end and answers questions from a script.
class FakeWindow : public FrontEnd {
 public:
  void SetListVisible(bool visible) override { list_visible = visible; }
  int CurrentRow() const override { return current_row; }
  MessageAnswer ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<QString> AskText(const QString& prompt, const QString& title) override;
  QString ClipboardText() const override { return clipboard; }
  void SetClipboardText(const QString& text) override { clipboard = text; }
  void HideWindow() override { window_visible = false; }

  bool list_visible = true;
  int current_row = 0;
  bool window_visible = true;
  QString clipboard;

  struct Message {
    QString text;
    QString title;
    MessageIcon icon;
    MessageButtons buttons;
  };
  std::vector<Message> messages;
  std::deque<MessageAnswer> answers;  // for ShowMessage with Yes/No
  QStringList inputs;                 // for AskText; a null QString stands for Cancel
  QStringList prompts;
};

// Every status text in order, with its kind, and the latest visibility of the stop commands.
class StatusLog : public QObject {
 public:
  explicit StatusLog(const Status& status);

  QStringList history;
  std::vector<TextKind> kinds;
  std::map<MenuItem, bool> menu_visible;
};

}  // namespace ph::test
