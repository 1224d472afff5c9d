#include "app/application.h"
#include "core/program_dir.h"
#include "ui/main_window.h"

#include <QApplication>

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

int main(int argc, char* argv[]) {
  // Before any worker thread can exist.
  curl_global_init(CURL_GLOBAL_ALL);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ProxyHarvest"));
  QApplication::setApplicationVersion(QStringLiteral(PH_VERSION));

  ph::Application application{ph::ProgramDir()};
  auto window = std::make_unique<ph::MainWindow>(application);
  window->show();
  application.SetFrontEnd(std::move(window));
  application.Start();
  const int code = QApplication::exec();

  // Workers still inside a probe are cut off rather than waited for.
  if (application.WorkersAlive()) std::_Exit(code);
  curl_global_cleanup();
  return code;
}
