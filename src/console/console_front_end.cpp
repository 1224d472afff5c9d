#include "console/console_front_end.h"

#include <QCoreApplication>
#include <QDateTime>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kCountsEveryMs = 1000;

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* out, QObject* parent) : QObject(parent), out_(out) {
  counts_.setSingleShot(true);
  counts_.setInterval(kCountsEveryMs);
  connect(&counts_, &QTimer::timeout, this, &ConsoleFrontEnd::LogCounts);
}

void ConsoleFrontEnd::Log(const QString& text) {
  const QString line =
      QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss "_s) + text + u'\n';
  std::fputs(line.toUtf8().constData(), out_);
  std::fflush(out_);
}

void ConsoleFrontEnd::SetPanel(int panel, const QString& text) {
  switch (panel) {
    case kStatusPanel:
      Log(text);
      return;
    case kRowCountPanel:
      rows_ = text;
      break;
    case kSuccessPanel:
      successes_ = text;
      break;
    default:
      return;
  }
  if (!counts_.isActive()) counts_.start();
}

void ConsoleFrontEnd::LogCounts() {
  const QString counts = u"总数 "_s + rows_ + u" 成功 "_s + successes_;
  if (counts == logged_counts_) return;
  logged_counts_ = counts;
  Log(counts);
}

MessageAnswer ConsoleFrontEnd::ShowMessage(const QString& text, const QString& title, MessageIcon,
                                           MessageButtons buttons) {
  const bool question = buttons == MessageButtons::YesNo;
  Log(u"["_s + title + u"] "_s + text + (question ? u" -> 否"_s : QString()));
  return question ? MessageAnswer::No : MessageAnswer::Ok;
}

std::optional<QString> ConsoleFrontEnd::AskText(const QString& prompt, const QString& title) {
  Log(u"["_s + title + u"] "_s + prompt + u" -> (无输入)"_s);
  return std::nullopt;
}

void ConsoleFrontEnd::EndProcess() { QCoreApplication::exit(0); }

}  // namespace ph
