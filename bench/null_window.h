#pragma once

#include "core/window_services.h"

#include <QString>

#include <array>

namespace ph::bench {

// A window that only remembers its status panels.
class NullWindow : public WindowServices {
 public:
  void SetPanel(int panel, const QString& text) override {
    if (panel >= 1 && panel <= 7) panels_[static_cast<std::size_t>(panel - 1)] = text;
  }
  QString Panel(int panel) const override {
    return panel >= 1 && panel <= 7 ? panels_[static_cast<std::size_t>(panel - 1)] : QString();
  }
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

 private:
  std::array<QString, 7> panels_{QString(), QStringLiteral("0"), QString(), QStringLiteral("0")};
};

}  // namespace ph::bench
