#include "app/application.h"

#include "commands/browser_proxy_commands.h"
#include "commands/file_commands.h"
#include "commands/location_commands.h"
#include "core/window_services.h"
#include "iploc/ip_location.h"

#include <QTimer>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kShutdownGraceMs = 1000;

}  // namespace

Application::Application(ProgramDir dir, QObject* parent)
    : QObject(parent), state_(std::move(dir)) {
  AddCommands();
}

Application::~Application() {
  // The front end refers to the core; it goes first.
  front_end_.reset();
}

void Application::AddCommands() {
  AppState& state = state_;
  ValidationRuns& runs = runs_;
  ListCommands& lists = list_commands_;
  auto add = [this](const char16_t* name, const char16_t* caption, std::function<void()> run) {
    commands_.Add({QString::fromUtf16(name), QString::fromUtf16(caption), std::move(run)});
  };
  add(u"GetProxyMenu", u"采集代理", [this] { harvest_.StartHarvest(); });
  add(u"Tmenu1", u"验证选中", [&runs] { runs.ValidateSelected(); });
  add(u"Tmenu2", u"验证所有", [&runs] { runs.ValidateAll(); });
  add(u"StopTest", u"停止验证", [&runs] { runs.StopValidation(); });
  add(u"StopGet", u"停止采集", [this] { harvest_.StopHarvest(); });
  add(u"LoadProxyMenu", u"导入代理", [&state] { ImportProxyFile(state); });
  add(u"WirteTxt", u"导出为文本", [&state] { ExportProxyFile(state); });
  add(u"WirteCsv", u"导出为Csv", [&state] { ExportCsv(state); });
  add(u"CopyInfo", u"复制选中代理信息", [&lists] { lists.CopySelected(); });
  add(u"GetgriMenu", u"粘贴数据", [&state] {
    PasteImport(state, [&state](const QString& ip) {
      return LookupIpLocation(ip, state.Dir(), state.EndpointTable());
    });
  });
  add(u"FindInfo", u"查找", [&lists] { lists.FindAndSelect(); });
  add(u"Rdmenu", u"去除重复", [&lists] { lists.RemoveDuplicates(); });
  add(u"gotoAdrs", u"检查地址", [&state] { CheckAddresses(state); });
  add(u"RestyzMenu", u"重置验证历史", [&lists] { lists.ResetHistory(); });
  add(u"SltallMenu", u"全 选", [&lists] { lists.SelectAll(); });
  add(u"SltallMenus", u"反 选", [&lists] { lists.InvertSelection(); });
  add(u"SltsucsMenu", u"选择暂未验证", [&lists] { lists.SelectNotValidated(); });
  add(u"SltsucMenu", u"选择验证成功", [&lists] { lists.SelectSuccessful(); });
  add(u"SetieProxyMenu", u"设置为IE代理并生效", [&state] { UseRowAsBrowserProxy(state); });
  add(u"StopIEproxyMenu", u"停止IE代理", [&state] { StopBrowserProxy(state); });
  add(u"ClsLv", u"清空列表", [&lists] { lists.ClearList(); });
  add(u"EndMenu", u"退出", [this] { EndMenu(); });
  add(u"Command3", u"应 用", [&state] { state.ApplySettings(); });
  add(u"Command4", u"启动接口", [this] { ToggleApi(); });
  add(u"Command5", u"本机IP", [&state] { ShowExternalAddress(state); });
}

void Application::SetFrontEnd(std::unique_ptr<WindowServices> front_end) {
  front_end_ = std::move(front_end);
  state_.SetWindow(*front_end_);
}

void Application::Start() {
  state_.Startup();
  harvest_.Start();
}

void Application::EndMenu() {
  WindowServices& window = state_.Window();
  if (!runs_.TestRunning()) {
    window.EndProcess();
    return;
  }
  // Workers see the cleared flag after their current probe; the window goes at once and the
  // process a second later, events running meanwhile.
  runs_.ClearTestRunning();
  window.HideWindow();
  QTimer::singleShot(kShutdownGraceMs, this, [this] { state_.Window().EndProcess(); });
}

void Application::ToggleApi() {
  if (const std::optional<ApiServer::Failure> failure = api_.ToggleApi()) {
    state_.Window().ShowMessage(u"服务启动失败,错误: "_s + failure->description,
                                u"错误代码: "_s + QString::number(failure->number),
                                MessageIcon::Critical, MessageButtons::Ok);
  }
}

bool Application::WorkersAlive() const { return runs_.Shared()->active_workers > 0; }

}  // namespace ph
