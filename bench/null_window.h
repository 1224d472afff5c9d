#pragma once

#include "core/window_services.h"

#include <QString>

namespace ph::bench {

// A front end that shows nothing and answers every question with its default.
class NullWindow : public WindowServices {
 public:
  void SetPanel(int, const QString&) override {}
  void SetMenuItemVisible(MenuItem, bool) override {}
  void SetListVisible(bool) override {}
  MessageAnswer ShowMessage(const QString&, const QString&, MessageIcon, MessageButtons) override {
    return MessageAnswer::Ok;
  }
  std::optional<QString> AskText(const QString&, const QString&) override { return {}; }
  QString ClipboardText() const override { return {}; }
  void SetClipboardText(const QString&) override {}
  void HideWindow() override {}
  void EndProcess() override {}
};

}  // namespace ph::bench
