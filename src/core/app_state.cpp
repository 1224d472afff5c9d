#include "core/app_state.h"

#include "core/numbers.h"
#include "core/result_buffer.h"
#include "core/window_services.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kShutdownGraceMs = 1000;

}  // namespace

AppState::AppState(WindowServices& window, ProgramDir dir, QObject* parent)
    : QObject(parent),
      window_(window),
      dir_(std::move(dir)),
      endpoints_(dir_),
      settings_(endpoints_) {
  timer1_.setInterval(1000);
  timer2_.setInterval(1000);
  timer3_.setInterval(500);
  // The automatic modes switch their count-down timers on and off.
  connect(&settings_, &Settings::CheckChanged, this, [this](const QString& control, int value) {
    QTimer* timer = control == "Check4"_L1 ? &timer1_ : control == "Check5"_L1 ? &timer2_ : nullptr;
    if (timer == nullptr) return;
    if (value == 1) {
      timer->start();
    } else {
      timer->stop();
    }
  });
}

bool AppState::TestRunning() const { return current_run_ && current_run_->test_running; }

void AppState::Startup() {
  window_.SetMenuItemVisible(MenuItem::StopGet, false);
  window_.SetMenuItemVisible(MenuItem::StopTest, false);
  ApplySettings();
  settings_.EnableHttpTest();
  timer1_.start();
  timer2_.start();
  if (!endpoints_.Problems().isEmpty()) {
    window_.SetPanel(kStatusPanel, u"endpoints.ini 中有无法识别的行,已忽略: "_s +
                                       endpoints_.Problems().join(u" | "_s));
  }
}

void AppState::ApplySettings() {
  if (!settings_.Apply())
    window_.SetPanel(kStatusPanel, u"线程设置范围应在 1-100 ,请重新设置!"_s);
}

void AppState::Addlvstr(ResultBuffer& buffer) {
  const std::string taken = buffer.Take();
  const int successes = list_.ApplyResults(taken);
  if (successes > 0) {
    const double counter = ReadNumber(window_.Panel(kSuccessPanel)) + successes;
    window_.SetPanel(kSuccessPanel, QString::number(RoundToInt32(counter)));
  }
}

void AppState::EndMenu() {
  if (!TestRunning()) {
    window_.EndProcess();
    return;
  }
  // Workers see the cleared flag after their current probe; the window goes at once and the
  // process a second later, events running meanwhile.
  current_run_->test_running = false;
  window_.HideWindow();
  QTimer::singleShot(kShutdownGraceMs, this, [this] { window_.EndProcess(); });
}

}  // namespace ph
