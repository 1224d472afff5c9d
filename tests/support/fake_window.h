#pragma once

#include "core/window_services.h"

#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <map>

namespace ph::test {

// Records what the core asks of the window and answers questions from a script.
class FakeWindow : public WindowServices {
 public:
  FakeWindow();

  void SetPanel(int panel, const QString& text) override;
  QString Panel(int panel) const;
  void SetMenuItemVisible(MenuItem item, bool visible) override { menu_visible[item] = visible; }
  void SetListVisible(bool visible) override { list_visible = visible; }
  int CurrentRow() const override { return current_row; }
  MessageAnswer ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<QString> AskText(const QString& prompt, const QString& title) override;
  QString ClipboardText() const override { return clipboard; }
  void SetClipboardText(const QString& text) override { clipboard = text; }
  void HideWindow() override { window_visible = false; }
  void EndProcess() override { ++end_process_calls; }

  // Every text panel 7 showed, in order.
  QStringList status_history;
  std::map<MenuItem, bool> menu_visible;
  bool list_visible = true;
  int current_row = 0;
  bool window_visible = true;
  int end_process_calls = 0;
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

 private:
  std::array<QString, 7> panels_;
};

}  // namespace ph::test
