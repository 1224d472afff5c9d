#include "app/rotate_port.h"

#include "core/app_state.h"
#include "validate/validation_run.h"

#include <algorithm>
#include <cerrno>

namespace ph {
namespace {

// How often rows whose upstream faulted are taken for the next run.
constexpr int kFaultsMs = 1000;

bool SameOptions(const RotateOptions& a, const RotateOptions& b) {
  return a.bind_address == b.bind_address && a.port == b.port && a.password == b.password &&
         a.strategy == b.strategy;
}

}  // namespace

RotatePort::RotatePort(AppState& state, ValidationRuns& runs, QObject* parent)
    : QObject(parent),
      state_(state),
      runs_(runs),
      feed_(state.List(), proxy_, [&state] { return state.Config().RotateMinPercent(); }) {
  faults_.setInterval(kFaultsMs);
  connect(&faults_, &QTimer::timeout, this, [this] { runs_.PutFirst(proxy_.TakeFaultedRows()); });
  Settings& settings = state_.Config();
  connect(&settings, &Settings::CheckChanged, this, [this](CheckField field, int) {
    if (field == &SettingsPanel::Check12) Follow();
  });
  connect(&settings, &Settings::Applied, this, &RotatePort::Follow);
  // The minimum is read at each rebuild; a change of either field rebuilds at once.
  connect(&settings, &Settings::TextChanged, this, [this](TextField field) {
    if (field == &SettingsPanel::Text24 || field == &SettingsPanel::Text19) feed_.Refresh();
  });
}

RotatePort::~RotatePort() { proxy_.Stop(); }

void RotatePort::Start() { Follow(); }

RotateOptions RotatePort::OptionsOfPanel() const {
  const Settings& settings = state_.Config();
  const SettingsPanel& panel = settings.Panel();
  RotateOptions options;
  options.bind_address = panel.Text22.trimmed().toStdString();
  options.port =
      static_cast<uint16_t>(std::clamp(settings.Whole(&SettingsPanel::Text21), 0, 65535));
  options.password = panel.Text23.toStdString();
  options.strategy = static_cast<Strategy>(std::clamp(panel.Rtn, 0, 3));
  return options;
}

void RotatePort::Follow() {
  if (!state_.Config().On(&SettingsPanel::Check12)) {
    if (running_) Close();
    return;
  }
  const RotateOptions options = OptionsOfPanel();
  if (running_ && SameOptions(*running_, options)) return;
  Open(options);
}

void RotatePort::Open(const RotateOptions& options) {
  running_.reset();
  if (options.port == 0) {
    proxy_.Stop();
    state_.StatusBar().SetProblem(RotateFailedText({0, EINVAL, "端口无效 (应为 1-65535)"}));
    return;
  }
  if (const std::optional<RotateFailure> failure = proxy_.Start(options)) {
    state_.StatusBar().SetProblem(RotateFailedText(*failure));
    return;
  }
  running_ = options;
  faults_.start();
  state_.StatusBar().SetText(RotateStartedText(options.bind_address, proxy_.Port()));
}

void RotatePort::Close() {
  proxy_.Stop();
  faults_.stop();
  running_.reset();
  state_.StatusBar().SetText(RotateStoppedText());
}

}  // namespace ph
