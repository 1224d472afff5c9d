#pragma once

#include "core/status.h"

#include <QString>

#include <optional>

namespace ph {

enum class MessageIcon { Information, Question, Warning, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Everything the core asks of a front end: the window, the headless console, or a fake in
// tests. The status values reach it through SetPanel and SetMenuItemVisible, pushed by the
// core whenever they change; the rest are the questions only a person can answer.
class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Status bar panels 1 to 7.
  virtual void SetPanel(int panel, const QString& text) = 0;
  virtual void SetMenuItemVisible(MenuItem item, bool visible) = 0;
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
  // Ends the program; workers still inside a probe are cut off.
  virtual void EndProcess() = 0;
};

// The status text lives in panel 7.
inline constexpr int kStatusPanel = 7;
inline constexpr int kRowCountPanel = 2;
inline constexpr int kSuccessPanel = 4;
inline constexpr int kWorkerPanel = 6;

}  // namespace ph
