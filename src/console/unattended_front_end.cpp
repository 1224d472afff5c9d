#include "console/unattended_front_end.h"

namespace ph {

using namespace Qt::StringLiterals;

MessageAnswer UnattendedFrontEnd::ShowMessage(const QString& text, const QString& title,
                                              MessageIcon, MessageButtons buttons) {
  const bool question = buttons == MessageButtons::YesNo;
  Say(u"["_s + title + u"] "_s + text + (question ? u" -> 否"_s : QString()));
  return question ? MessageAnswer::No : MessageAnswer::Ok;
}

std::optional<QString> UnattendedFrontEnd::AskText(const QString& prompt, const QString& title) {
  Say(u"["_s + title + u"] "_s + prompt + u" -> (无输入)"_s);
  return std::nullopt;
}

}  // namespace ph
