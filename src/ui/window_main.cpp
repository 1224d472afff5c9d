#include "ui/window_main.h"

#include "app/application.h"
#include "core/program_dir.h"
#include "ui/main_window.h"
#include "ui/qt_translation.h"

#include <QApplication>

#include <memory>

namespace ph {

int WindowMain(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ProxyHarvest"));
  QApplication::setApplicationVersion(QStringLiteral(PH_VERSION));
  LoadQtChineseTranslation();

  Application application{ProgramDir()};
  QObject::connect(&application, &Application::Ended, &app, &QCoreApplication::exit,
                   Qt::QueuedConnection);
  auto window = std::make_unique<MainWindow>(application);
  window->show();
  application.SetFrontEnd(std::move(window));
  application.Start();
  return QApplication::exec();
}

}  // namespace ph
