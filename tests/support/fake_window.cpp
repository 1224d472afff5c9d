#include "support/fake_window.h"

namespace ph::test {

using namespace Qt::StringLiterals;

FakeWindow::FakeWindow()
    : panels_{u"总数"_s, u"0"_s, u"成功"_s, u"0"_s, u"线程"_s, u"0"_s, u"credit"_s} {}

void FakeWindow::SetPanel(int panel, const QString& text) {
  if (panel < 1 || panel > 7) return;
  panels_[static_cast<std::size_t>(panel - 1)] = text;
  if (panel == kStatusPanel) status_history.append(text);
}

QString FakeWindow::Panel(int panel) const {
  if (panel < 1 || panel > 7) return {};
  return panels_[static_cast<std::size_t>(panel - 1)];
}

MessageAnswer FakeWindow::ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                                      MessageButtons buttons) {
  messages.push_back({text, title, icon, buttons});
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::No;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<QString> FakeWindow::AskText(const QString& prompt, const QString& title) {
  prompts.append(title + u'|' + prompt);
  if (inputs.isEmpty()) return std::nullopt;
  const QString answer = inputs.takeFirst();
  if (answer.isNull()) return std::nullopt;
  return answer;
}

}  // namespace ph::test
