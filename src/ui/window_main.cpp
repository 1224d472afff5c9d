#include "ui/window_main.h"

#include "app/application.h"
#include "app/command_line.h"
#include "app/config_file.h"
#include "app/kept_list.h"
#include "app/stop_signals.h"
#include "core/program_dir.h"
#include "store/sqlite_list_store.h"
#include "ui/main_window.h"
#include "ui/qt_translation.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdlib>
#include <memory>
#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kNoDisplay = 1;
constexpr int kBadSettings = 2;

// Why there is no window, and the two ways to run without a display.
QString NoDisplayText(const QString& why) {
  return u"proxyharvest: "_s + why +
         u", 无法打开窗口; 无界面运行请用 proxyharvest --headless, "_s
         u"或在虚拟显示中打开窗口: xvfb-run -a proxyharvest\n"_s;
}

bool DisplayNamed(const CommandLine& line) {
  return line.platform_given || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
         !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QtMessageHandler qt_handler = nullptr;

// While the window's platform starts: a display that cannot be reached ends the program
// with the same advice and status instead of Qt's abort.
void FatalWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    qt_handler(type, context, text);
    return;
  }
  WriteText(stderr, text + u'\n' + NoDisplayText(u"无法连接图形显示"_s));
  std::_Exit(kNoDisplay);
}

// The list of --db or --keep-list, loaded and kept there; a database that cannot be used is
// left as it is, and the window says so and keeps nothing.
std::optional<QString> KeepList(const CommandLine& line, Application& application,
                                std::optional<SqliteListStore>& store) {
  const QString path = line.keep_list ? KeptListPath() : line.db;
  if (path.isEmpty()) return std::nullopt;
  Status& status = application.State().StatusBar();
  store.emplace(path);
  if (std::optional<QString> failure = LoadList(*store, application.State().List())) {
    store.reset();
    return *failure + u"\n列表不会保存, 本次从空列表开始."_s;
  }
  application.KeepListIn(*store, [&status](const QString& failure) {
    status.SetProblem(u"保存列表失败: "_s + failure);
  });
  return std::nullopt;
}

}  // namespace

int WindowMain(int argc, char** argv, const CommandLine& line) {
  if (!DisplayNamed(line)) {
    WriteText(stderr, NoDisplayText(u"没有图形显示 (未设置 DISPLAY 或 WAYLAND_DISPLAY)"_s));
    return kNoDisplay;
  }
  qt_handler = qInstallMessageHandler(&FatalWithoutDisplay);
  QApplication app(argc, argv);
  qInstallMessageHandler(qt_handler);
  NameTheProgram();
  QApplication::setWindowIcon(QIcon(u":/icons/proxyharvest.svg"_s));
  LoadQtChineseTranslation();

  // Before the application, which writes to it until its end.
  std::optional<SqliteListStore> store;
  Application application{ProgramDir()};
  if (!line.config.isEmpty()) {
    if (const std::optional<QString> refusal =
            ReadConfigFile(line.config, application.State().Config())) {
      WriteText(stderr, u"proxyharvest: "_s + *refusal + u'\n');
      return kBadSettings;
    }
  }
  QObject::connect(&application, &Application::Ended, &app, &QCoreApplication::exit,
                   Qt::QueuedConnection);
  auto window = std::make_unique<MainWindow>(application);
  MainWindow& shown = *window;
  application.SetFrontEnd(std::move(window));
  const std::optional<QString> refusal = KeepList(line, application, store);
  shown.show();
  if (refusal) {
    WriteText(stderr, u"proxyharvest: "_s + *refusal + u'\n');
    application.State().StatusBar().SetProblem(QString(*refusal).replace(u'\n', u' '));
    // Not modal to the program: the window is usable, and nothing waits for the answer.
    auto* box =
        new QMessageBox(QMessageBox::Warning, u"ProxyHarvest"_s, *refusal, QMessageBox::Ok, &shown);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  }
  // SIGTERM (a session's end) and Ctrl-C end as closing the window does, the list saved.
  StopSignals stop_signals;
  QObject::connect(&stop_signals, &StopSignals::StopAsked, &application,
                   [&application] { application.RequestQuit(Application::kSignalQuit); });
  application.Start();
  return QApplication::exec();
}

}  // namespace ph
