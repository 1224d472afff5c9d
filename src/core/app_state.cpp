#include "core/app_state.h"

#include "core/window_services.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The front end before a real one is set: shows nothing and answers with the defaults.
class NoWindow : public WindowServices {
 public:
  void SetPanel(int, const QString&) override {}
  void SetMenuItemVisible(MenuItem, bool) override {}
  void SetListVisible(bool) override {}
  MessageAnswer ShowMessage(const QString&, const QString&, MessageIcon,
                            MessageButtons buttons) override {
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
  std::optional<QString> AskText(const QString&, const QString&) override { return {}; }
  QString ClipboardText() const override { return {}; }
  void SetClipboardText(const QString&) override {}
  void HideWindow() override {}
  void EndProcess() override {}
};

NoWindow& NoFrontEnd() {
  static NoWindow none;
  return none;
}

}  // namespace

AppState::AppState(ProgramDir dir, QObject* parent)
    : QObject(parent),
      window_(&NoFrontEnd()),
      dir_(std::move(dir)),
      endpoints_(dir_),
      settings_(endpoints_) {
  ShowStatus();
}

AppState::AppState(WindowServices& window, ProgramDir dir, QObject* parent)
    : AppState(std::move(dir), parent) {
  SetWindow(window);
}

void AppState::ShowStatus() {
  auto number = [](int value) { return QString::number(value); };
  connect(&status_, &Status::TextChanged, this,
          [this](const QString& text) { window_->SetPanel(kStatusPanel, text); });
  connect(&status_, &Status::RowsChanged, this,
          [this, number](int rows) { window_->SetPanel(kRowCountPanel, number(rows)); });
  connect(&status_, &Status::SuccessesChanged, this,
          [this, number](int count) { window_->SetPanel(kSuccessPanel, number(count)); });
  connect(&status_, &Status::WorkersChanged, this,
          [this, number](int count) { window_->SetPanel(kWorkerPanel, number(count)); });
  connect(&status_, &Status::MenuItemChanged, this,
          [this](MenuItem item, bool visible) { window_->SetMenuItemVisible(item, visible); });
}

void AppState::SetWindow(WindowServices& window) {
  window_ = &window;
  window_->SetPanel(kRowCountPanel, QString::number(status_.Rows()));
  window_->SetPanel(kSuccessPanel, QString::number(status_.Successes()));
  window_->SetPanel(kWorkerPanel, QString::number(status_.Workers()));
  if (!status_.Text().isEmpty()) window_->SetPanel(kStatusPanel, status_.Text());
  window_->SetMenuItemVisible(MenuItem::StopGet, status_.MenuItemVisible(MenuItem::StopGet));
  window_->SetMenuItemVisible(MenuItem::StopTest, status_.MenuItemVisible(MenuItem::StopTest));
}

void AppState::Startup() {
  status_.SetMenuItemVisible(MenuItem::StopGet, false);
  status_.SetMenuItemVisible(MenuItem::StopTest, false);
  ApplySettings();
  settings_.EnableHttpTest();
  if (!endpoints_.Problems().isEmpty()) {
    status_.SetText(u"endpoints.ini 中有无法识别的行,已忽略: "_s +
                    endpoints_.Problems().join(u" | "_s));
  }
}

bool AppState::ApplySettings() {
  if (settings_.Apply()) return true;
  status_.SetText(u"线程设置范围应在 1-100 ,请重新设置!"_s);
  return false;
}

}  // namespace ph
