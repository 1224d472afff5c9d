#include "support/fake_window.h"

namespace ph::test {

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

StatusLog::StatusLog(const Status& status) {
  for (const MenuItem item : {MenuItem::StopGet, MenuItem::StopTest})
    menu_visible[item] = status.MenuItemVisible(item);
  connect(&status, &Status::TextChanged, this, [this](const QString& text, TextKind kind) {
    history.append(text);
    kinds.push_back(kind);
  });
  connect(&status, &Status::MenuItemChanged, this,
          [this](MenuItem item, bool visible) { menu_visible[item] = visible; });
}

}  // namespace ph::test
