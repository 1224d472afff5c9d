#pragma once

#include "app/application.h"
#include "ui/main_window.h"
#include "ui/qt_translation.h"

#include <memory>

namespace ph::test {

// The window as the program starts it: Qt's dialogs in Chinese, handed the application's core,
// shown, started.
inline MainWindow& StartWindow(Application& application) {
  LoadQtChineseTranslation();
  auto window = std::make_unique<MainWindow>(application);
  MainWindow& shown = *window;
  shown.show();
  application.SetFrontEnd(std::move(window));
  application.Start();
  return shown;
}

}  // namespace ph::test
