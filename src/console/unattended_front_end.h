#pragma once

#include "core/front_end.h"

#include <QString>

namespace ph {

// A front end nobody sits at: every message box becomes a line that says it, a question gets
// its safe default (OK, or No: nothing is replaced or cleared without a person), an input box
// nothing; there is no list or window to show. Where the lines go is the one thing left open.
class UnattendedFrontEnd : public FrontEnd {
 public:
  // A line of its own, wherever this front end writes.
  virtual void Say(const QString& line) = 0;

  void SetListVisible(bool) override {}
  MessageAnswer ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<QString> AskText(const QString& prompt, const QString& title) override;
  QString ClipboardText() const override { return {}; }
  void SetClipboardText(const QString&) override {}
  void HideWindow() override {}
};

}  // namespace ph
