#include "app/status_port.h"

#include "core/app_state.h"
#include "status/listen_address.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

bool SameOptions(const StatusOptions& a, const StatusOptions& b) {
  return a.address == b.address && a.port == b.port && a.password == b.password;
}

// How a browser on this machine reaches it.
QString PageUrl(const QString& address, int port) {
  const QString host = address.contains(u':') ? u'[' + address + u']' : address;
  return u"http://%1:%2/"_s.arg(host).arg(port);
}

}  // namespace

StatusPort::StatusPort(AppState& state, StatusFeeds feeds, QObject* parent)
    : QObject(parent), state_(state), board_(state, std::move(feeds)) {
  Settings& settings = state_.Config();
  connect(&settings, &Settings::CheckChanged, this, [this](CheckField field, int) {
    if (field == &SettingsPanel::Check13) Follow();
  });
  connect(&settings, &Settings::Applied, this, &StatusPort::Follow);
}

StatusOptions StatusPort::OptionsOfPanel() const {
  const Settings& settings = state_.Config();
  const SettingsPanel& panel = settings.Panel();
  StatusOptions options;
  options.address = panel.Text26.trimmed();
  if (options.address.isEmpty()) options.address = u"127.0.0.1"_s;
  options.port = settings.Whole(&SettingsPanel::Text25);
  options.password = panel.Text27;
  // Other machines may reach it: it is never open to them without a password.
  if (options.password.isEmpty() && !IsLoopbackAddress(options.address))
    options.password = panel.Text10;
  return options;
}

void StatusPort::Follow() {
  if (!state_.Config().On(&SettingsPanel::Check13)) {
    failure_.reset();
    if (running_) Close();
    return;
  }
  const StatusOptions options = OptionsOfPanel();
  if (running_ && SameOptions(*running_, options)) return;
  Open(options);
}

void StatusPort::Open(const StatusOptions& options) {
  running_.reset();
  if (options.port < 1 || options.port > 65535) {
    listener_.Stop();
    failure_ = u"端口无效: %1 (应为 1-65535)"_s.arg(options.port);
  } else {
    failure_ = listener_.Start(options);
  }
  if (failure_) {
    state_.StatusBar().SetProblem(u"状态页启动失败: "_s + *failure_);
    return;
  }
  running_ = options;
  state_.StatusBar().SetText(u"状态页已启动: "_s + PageUrl(options.address, listener_.Port()));
}

void StatusPort::Close() {
  listener_.Stop();
  running_.reset();
  state_.StatusBar().SetText(u"状态页已停止"_s);
}

}  // namespace ph
