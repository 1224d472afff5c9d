#include "core/app_state.h"

#include "core/front_end.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The front end while there is no real one: answers with the defaults.
class NoFrontEnd : public FrontEnd {
 public:
  void SetListVisible(bool) override {}
  MessageAnswer ShowMessage(const QString&, const QString&, MessageIcon,
                            MessageButtons buttons) override {
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
  std::optional<QString> AskText(const QString&, const QString&) override { return {}; }
  QString ClipboardText() const override { return {}; }
  void SetClipboardText(const QString&) override {}
  void HideWindow() override {}
};

FrontEnd& StandIn() {
  static NoFrontEnd none;
  return none;
}

}  // namespace

AppState::AppState(ProgramDir dir, QObject* parent)
    : QObject(parent),
      front_end_(&StandIn()),
      dir_(std::move(dir)),
      endpoints_(dir_),
      settings_(endpoints_) {}

AppState::AppState(FrontEnd& front_end, ProgramDir dir, QObject* parent)
    : AppState(std::move(dir), parent) {
  SetFrontEnd(&front_end);
}

void AppState::SetFrontEnd(FrontEnd* front_end) {
  front_end_ = front_end != nullptr ? front_end : &StandIn();
}

void AppState::Startup() {
  ApplySettings();
  settings_.EnableHttpTest();
  if (!endpoints_.Problems().isEmpty()) {
    status_.SetProblem(u"endpoints.ini 中有无法识别的行,已忽略: "_s +
                       endpoints_.Problems().join(u" | "_s));
  }
}

bool AppState::ApplySettings() {
  if (settings_.Apply()) return true;
  status_.SetProblem(u"线程设置范围应在 1-100 ,请重新设置!"_s);
  return false;
}

}  // namespace ph
