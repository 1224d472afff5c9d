#include "console/headless.h"

#include "app/application.h"
#include "app/command_line.h"
#include "app/config_file.h"
#include "app/kept_list.h"
#include "app/stop_signals.h"
#include "console/chosen_store.h"
#include "console/console_front_end.h"
#include "console/console_setup.h"
#include "core/proxy_list.h"
#include "listio/proxy_file.h"
#include "status/listen_address.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kBadStart = 2;
// A shared pool's database that did not answer at start may yet: the start fails without
// the status that tells a service manager not to try again.
constexpr int kDatabaseAway = 1;

// The whole headless program once it has started: the orderly end on a signal, and what the
// command line asked for at start.
class Headless : public QObject {
 public:
  Headless(Application& application, ConsoleFrontEnd& console)
      : application_(application), console_(console) {
    connect(&signals_, &StopSignals::StopAsked, this, [this](int signal_number) {
      console_.Log(u"收到信号 %1, 正在停止..."_s.arg(signal_number));
      application_.RequestQuit(Application::kSignalQuit);
    });
    connect(&application_, &Application::ListSaved, this, [this](bool ok, int rows) {
      if (ok) console_.Log(u"列表已保存, 共 %1 行"_s.arg(rows));
    });
  }

  void HarvestThenValidate(bool harvest, bool validate) {
    if (!harvest) {
      if (validate) application_.Run(CommandId::kValidateAll);
      return;
    }
    if (validate) {
      connect(
          &application_.Harvest(), &HarvestControl::Ended, this,
          [this] { application_.Run(CommandId::kValidateAll); }, Qt::SingleShotConnection);
    }
    application_.Run(CommandId::kHarvest);
  }

 private:
  Application& application_;
  ConsoleFrontEnd& console_;
  StopSignals signals_;
};

// Everything that can refuse the start, in order; the reason, or nothing.
std::optional<QString> Prepare(const CommandLine& line, Application& application,
                               ConsoleFrontEnd& console, ChosenStore& store) {
  AppState& state = application.State();
  if (const std::optional<QString> refusal = ReadSettings(line, application)) return refusal;
  if (const std::optional<QString> failure = store.Load(state.List())) return failure;
  console.Log(u"已载入数据库 %1, 共 %2 行"_s.arg(store.Shown()).arg(state.List().RowCount()));
  if (!line.import.isEmpty()) {
    if (!QFileInfo::exists(line.import)) return u"导入文件不存在: "_s + line.import;
    if (!QFileInfo(line.import).isFile()) return u"导入文件不是普通文件: "_s + line.import;
    const std::vector<NewRow> rows = ParseProxyFile(ReadTextFile(line.import));
    state.List().AppendRows(rows);
    console.Log(u"已导入 %1 行: %2"_s.arg(rows.size()).arg(line.import));
  }
  if (!line.rotate_port.isEmpty()) {
    state.Config().SetText(&SettingsPanel::Text21, line.rotate_port);
    state.Config().SetCheck(&SettingsPanel::Check12, 1);
  }
  if (!line.status.isEmpty()) {
    const std::optional<ListenAddress> status = SplitListenAddress(line.status);
    if (!status) return u"--status 应为 端口 或 地址:端口: "_s + line.status;
    if (!status->address.isEmpty()) state.Config().SetText(&SettingsPanel::Text26, status->address);
    state.Config().SetText(&SettingsPanel::Text25, status->port);
    state.Config().SetCheck(&SettingsPanel::Check13, 1);
  }
  application.KeepListIn(store.Store(), [&console](const QString& failure) {
    const QString text = u"保存列表失败: "_s + failure;
    console.Log(text);
    WriteText(stderr, text + u'\n');
  });
  if (SharedPool* pool = store.Pool()) {
    application.ShareWith(*pool);
    console.Log(u"与其他实例共享数据库, 本实例名 %1"_s.arg(pool->Owner()));
  }
  application.Start();
  if (const std::optional<QString>& failure = application.StatusService().Failure())
    return u"状态页启动失败: "_s + *failure;
  if (line.no_api) return std::nullopt;
  if (!line.api_port.isEmpty()) state.Config().SetText(&SettingsPanel::Text8, line.api_port);
  if (const std::optional<ApiServer::Failure> failure = application.Api().StartOrStop())
    return u"控制接口启动失败 (%1): %2"_s.arg(failure->number).arg(failure->description);
  console.Log(u"控制接口已启动, 端口 %1"_s.arg(application.Api().Port()));
  return std::nullopt;
}

// The database when none is named: in the working directory, or for an installed program in
// the user's data directory.
QString DefaultDatabase() {
  return ProgramDir().InDataDir() ? KeptListPath() : u"proxyharvest.db"_s;
}

}  // namespace

int HeadlessMain(int argc, char** argv, const CommandLine& line) {
  QCoreApplication app(argc, argv);
  NameTheProgram();
  if (line.print_config) {
    const Endpoints endpoints;
    Settings defaults(endpoints);
    UseServerDefaults(defaults);
    WriteText(stdout, DefaultConfigText(defaults));
    return 0;
  }

  // The store outlives the application, which writes to it as it ends.
  ConsoleFrontEnd* log_to = nullptr;
  ChosenStore store(line.db.isEmpty() ? DefaultDatabase() : line.db,
                    [&log_to](const QString& text) {
                      if (log_to != nullptr) log_to->Log(text);
                    });
  Application application(ChosenDir(line));
  QObject::connect(&application, &Application::Ended, &app, &QCoreApplication::exit,
                   Qt::QueuedConnection);
  auto console = std::make_unique<ConsoleFrontEnd>(application.State().StatusBar());
  ConsoleFrontEnd& log = *console;
  log_to = &log;
  application.SetFrontEnd(std::move(console));
  // Signals are taken from before the start: one that comes while the list is loaded or the
  // API opened ends the server in order as soon as it runs.
  Headless headless(application, log);
  if (const std::optional<QString> refusal = Prepare(line, application, log, store)) {
    log.Log(*refusal);
    WriteText(stderr, *refusal + u'\n');
    return store.Away() ? kDatabaseAway : kBadStart;
  }
  headless.HarvestThenValidate(line.harvest_now, line.validate_now);
  return QCoreApplication::exec();
}

}  // namespace ph
