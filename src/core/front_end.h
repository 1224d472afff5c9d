#pragma once

#include <QString>

#include <optional>

namespace ph {

enum class MessageIcon { Information, Question, Warning, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// What the core asks of whoever faces the user: the window, the headless console, or a fake
// in tests. Only what a person must answer or see happen; the status values reach front ends
// as the signals of Status.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  virtual void SetListVisible(bool visible) = 0;
  // The row of the list that has the keyboard focus, 0 when none has (or there is no list).
  virtual int CurrentRow() const { return 0; }

  virtual MessageAnswer ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                                    MessageButtons buttons) = 0;
  // The typed text, or nothing when the box was cancelled.
  virtual std::optional<QString> AskText(const QString& prompt, const QString& title) = 0;

  virtual QString ClipboardText() const = 0;
  virtual void SetClipboardText(const QString& text) = 0;

  virtual void HideWindow() = 0;
};

}  // namespace ph
