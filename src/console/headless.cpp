#include "console/headless.h"

#include "app/application.h"
#include "console/config_file.h"
#include "console/console_front_end.h"
#include "console/stop_signals.h"
#include "core/bounded_read.h"
#include "core/proxy_list.h"
#include "listio/proxy_file.h"
#include "status/listen_address.h"
#include "store/sqlite_list_store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kBadStart = 2;

struct Options {
  QString config;
  QString db = u"proxyharvest.db"_s;
  QString import;
  QString dir;
  QString api_port;
  QString rotate_port;
  QString status;
  bool no_api = false;
  bool harvest_now = false;
  bool validate_now = false;
  bool print_config = false;
};

std::optional<Options> ReadOptions(const QStringList& arguments, QString& error) {
  QCommandLineParser parser;
  parser.addOptions({
      {u"headless"_s, u"Run without a window."_s},
      {u"config"_s, u"Settings file (keys: the settings panel's control names)."_s, u"FILE"_s},
      {u"db"_s, u"The list's database (default proxyharvest.db)."_s, u"FILE"_s},
      {u"import"_s, u"Add the rows of a Zxproxyinfo.txt-format file at start."_s, u"FILE"_s},
      {u"dir"_s, u"Program directory: endpoints.ini, qqwry.dat (sources.ini: beside --config)."_s,
       u"DIR"_s},
      {u"api"_s, u"Control API port, instead of the settings' Text8."_s, u"PORT"_s},
      {u"rotate"_s, u"Open the rotating proxy port on PORT (Check12, Text21)."_s, u"PORT"_s},
      {u"status"_s,
       u"Serve the status page, /status.json, /metrics and /healthz on PORT, on 127.0.0.1 "
       u"unless an ADDRESS is given (Check13, Text25, Text26)."_s,
       u"[ADDRESS:]PORT"_s},
      {u"no-api"_s, u"Do not start the control API."_s},
      {u"harvest-now"_s, u"Harvest once at start."_s},
      {u"validate-now"_s, u"Validate the whole list at start (after --harvest-now)."_s},
      {u"print-config"_s, u"Print the default settings file and exit."_s},
  });
  if (!parser.parse(arguments)) {
    error = parser.errorText();
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    error = u"unexpected argument: "_s + parser.positionalArguments().first();
    return std::nullopt;
  }
  Options options;
  options.config = parser.value(u"config"_s);
  if (parser.isSet(u"db"_s)) options.db = parser.value(u"db"_s);
  options.import = parser.value(u"import"_s);
  options.dir = parser.value(u"dir"_s);
  options.api_port = parser.value(u"api"_s);
  options.rotate_port = parser.value(u"rotate"_s);
  options.status = parser.value(u"status"_s);
  options.no_api = parser.isSet(u"no-api"_s);
  options.harvest_now = parser.isSet(u"harvest-now"_s);
  options.validate_now = parser.isSet(u"validate-now"_s);
  options.print_config = parser.isSet(u"print-config"_s);
  return options;
}

// The program directory: given, else the settings file's, else the executable's.
ProgramDir ChosenDir(const Options& options) {
  if (!options.dir.isEmpty()) return ProgramDir(QFileInfo(options.dir).absoluteFilePath());
  if (!options.config.isEmpty()) return ProgramDir(QFileInfo(options.config).absolutePath());
  return ProgramDir();
}

void Print(std::FILE* to, const QString& text) {
  std::fputs(text.toUtf8().constData(), to);
  std::fflush(to);
}

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
std::optional<QString> Prepare(const Options& options, Application& application,
                               ConsoleFrontEnd& console, SqliteListStore& store) {
  AppState& state = application.State();
  if (!options.config.isEmpty()) {
    const FileRead file = ReadRegularFile(options.config, kMostSettingsFileBytes);
    if (!file.problem.isEmpty())
      return u"无法读取设置文件 "_s + options.config + u": "_s + file.problem;
    if (file.content.cut) return u"设置文件 "_s + options.config + u" 太大 (超过 1 MiB)"_s;
    const ConfigFile config = ParseConfig(ConfigFileText(file.content.bytes));
    if (!config.problems.isEmpty())
      return u"设置文件 "_s + options.config + u" 有误:\n  "_s + config.problems.join(u"\n  "_s);
    ApplyConfig(config, state.Config());
    // The public lists a server harvests are listed beside its settings.
    application.Harvest().SetSourcesPath(
        QFileInfo(options.config).absoluteDir().filePath(u"sources.ini"_s));
  }
  if (const std::optional<QString> failure = store.Open()) return u"数据库无法使用: "_s + *failure;
  if (const std::optional<QString> failure = store.Load(state.List())) return *failure;
  console.Log(u"已载入数据库 %1, 共 %2 行"_s.arg(options.db).arg(state.List().RowCount()));
  if (!options.import.isEmpty()) {
    if (!QFileInfo::exists(options.import)) return u"导入文件不存在: "_s + options.import;
    if (!QFileInfo(options.import).isFile()) return u"导入文件不是普通文件: "_s + options.import;
    const std::vector<NewRow> rows = ParseProxyFile(ReadTextFile(options.import));
    state.List().AppendRows(rows);
    console.Log(u"已导入 %1 行: %2"_s.arg(rows.size()).arg(options.import));
  }
  if (!options.rotate_port.isEmpty()) {
    state.Config().SetText(&SettingsPanel::Text21, options.rotate_port);
    state.Config().SetCheck(&SettingsPanel::Check12, 1);
  }
  if (!options.status.isEmpty()) {
    const std::optional<ListenAddress> status = SplitListenAddress(options.status);
    if (!status) return u"--status 应为 端口 或 地址:端口: "_s + options.status;
    if (!status->address.isEmpty()) state.Config().SetText(&SettingsPanel::Text26, status->address);
    state.Config().SetText(&SettingsPanel::Text25, status->port);
    state.Config().SetCheck(&SettingsPanel::Check13, 1);
  }
  application.KeepListIn(store, [&console](const QString& failure) {
    const QString text = u"保存列表失败: "_s + failure;
    console.Log(text);
    Print(stderr, text + u'\n');
  });
  application.Start();
  if (const std::optional<QString>& failure = application.StatusService().Failure())
    return u"状态页启动失败: "_s + *failure;
  if (options.no_api) return std::nullopt;
  if (!options.api_port.isEmpty()) state.Config().SetText(&SettingsPanel::Text8, options.api_port);
  if (const std::optional<ApiServer::Failure> failure = application.Api().StartOrStop())
    return u"控制接口启动失败 (%1): %2"_s.arg(failure->number).arg(failure->description);
  console.Log(u"控制接口已启动, 端口 %1"_s.arg(application.Api().Port()));
  return std::nullopt;
}

}  // namespace

bool WantsHeadless(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "--print-config") == 0)
      return true;
  }
  return false;
}

int HeadlessMain(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(u"ProxyHarvest"_s);
  QCoreApplication::setApplicationVersion(QStringLiteral(PH_VERSION));
  QString error;
  const std::optional<Options> options = ReadOptions(QCoreApplication::arguments(), error);
  if (!options) {
    Print(stderr, error + u'\n');
    return kBadStart;
  }
  if (options->print_config) {
    const Endpoints endpoints;
    Settings defaults(endpoints);
    UseServerDefaults(defaults);
    Print(stdout, DefaultConfigText(defaults));
    return 0;
  }

  SqliteListStore store(options->db);
  Application application(ChosenDir(*options));
  UseServerDefaults(application.State().Config());
  QObject::connect(&application, &Application::Ended, &app, &QCoreApplication::exit,
                   Qt::QueuedConnection);
  auto console = std::make_unique<ConsoleFrontEnd>(application.State().StatusBar());
  ConsoleFrontEnd& log = *console;
  application.SetFrontEnd(std::move(console));
  // Signals are taken from before the start: one that comes while the list is loaded or the
  // API opened ends the server in order as soon as it runs.
  Headless headless(application, log);
  if (const std::optional<QString> refusal = Prepare(*options, application, log, store)) {
    log.Log(*refusal);
    Print(stderr, *refusal + u'\n');
    return kBadStart;
  }
  headless.HarvestThenValidate(options->harvest_now, options->validate_now);
  return QCoreApplication::exec();
}

}  // namespace ph
