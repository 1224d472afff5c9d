#include "core/app_state.h"
#include "core/program_dir.h"
#include "ui/main_window.h"

#include <QApplication>

#include <curl/curl.h>

#include <cstdlib>

int main(int argc, char* argv[]) {
  // Before any worker thread can exist.
  curl_global_init(CURL_GLOBAL_ALL);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ProxyHarvest"));
  QApplication::setApplicationVersion(QStringLiteral(PH_VERSION));

  ph::MainWindow window{ph::ProgramDir()};
  window.Start();
  const int code = QApplication::exec();

  // Workers still inside a probe are cut off rather than waited for.
  if (window.State().Validation()->active_workers > 0) std::_Exit(code);
  curl_global_cleanup();
  return code;
}
