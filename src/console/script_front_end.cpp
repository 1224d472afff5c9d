#include "console/script_front_end.h"

#include "app/command_line.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kRedrawMs = 200;
constexpr int kLineEveryMs = 5000;
constexpr int kBarWidth = 20;
// Back to the start of the line, and the rest of it cleared.
constexpr char16_t kClearLine[] = u"\r\x1b[K";

// "m:ss", or "h:mm:ss" from an hour on.
QString Duration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return u"--:--"_s;
  const long long whole = std::llround(seconds);
  const QString ss = u"%1"_s.arg(whole % 60, 2, 10, QChar(u'0'));
  if (whole < 3600) return u"%1:%2"_s.arg(whole / 60).arg(ss);
  return u"%1:%2:%3"_s.arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QChar(u'0')).arg(ss);
}

}  // namespace

QString ProgressLine(Job job, int done, int total, int count, double seconds) {
  const double fraction = total > 0 ? static_cast<double>(done) / total : 0;
  const double left = done > 0 ? seconds * (total - done) / done : -1;
  if (job == Job::kValidation) {
    const double rate = seconds > 0 ? done / seconds : 0;
    return u"已验证 %1/%2 (%3%) 成功 %4  %5 个/秒  剩余 %6"_s.arg(done)
        .arg(total)
        .arg(static_cast<int>(fraction * 100))
        .arg(count)
        .arg(std::lround(rate))
        .arg(Duration(left));
  }
  const double rate = seconds > 0 ? count / seconds : 0;
  return u"采集 %1/%2  地址 %3  %4 个/秒  剩余 %5"_s.arg(done)
      .arg(total)
      .arg(count)
      .arg(std::lround(rate))
      .arg(Duration(left));
}

QString ProgressBar(int done, int total, int width) {
  const int filled =
      total > 0
          ? std::clamp(static_cast<int>(static_cast<long long>(done) * width / total), 0, width)
          : 0;
  return u'[' + QString(filled, u'#') + QString(width - filled, u'-') + u']';
}

ScriptFrontEnd::ScriptFrontEnd(const Status& status, Job job, ProgressStyle style, std::FILE* err,
                               QObject* parent)
    : QObject(parent),
      status_(status),
      job_(job),
      style_(style),
      err_(err),
      rows_at_start_(status.Rows()) {
  clock_.start();
  connect(&status, &Status::TextChanged, this, &ScriptFrontEnd::OnText);
  connect(&status, &Status::Progress, this, &ScriptFrontEnd::OnProgress);
  repeat_.setInterval(style_.terminal ? kRedrawMs : kLineEveryMs);
  connect(&repeat_, &QTimer::timeout, this, &ScriptFrontEnd::Show);
}

double ScriptFrontEnd::Seconds() const { return clock_.elapsed() / 1000.0; }

int ScriptFrontEnd::Count() const {
  return job_ == Job::kValidation ? status_.Successes() : status_.Rows() - rows_at_start_;
}

void ScriptFrontEnd::OnText(const QString& text, TextKind kind) {
  // A validation's texts repeat the counts the progress shows; a harvest's name its steps.
  if (kind == TextKind::kProblem || (job_ == Job::kHarvest && !style_.quiet)) Say(text);
}

void ScriptFrontEnd::OnProgress(Job job, int done, int total) {
  if (job != job_ || finished_ || style_.quiet) return;
  done_ = done;
  total_ = total;
  if (repeat_.isActive()) return;
  // The first report at once, then the bar's redraws or the lines every few seconds.
  clock_.start();
  Show();
  repeat_.start();
}

void ScriptFrontEnd::Show() {
  const QString line = ProgressLine(job_, done_, total_, Count(), Seconds());
  if (!style_.terminal) {
    WriteText(err_, QDateTime::currentDateTime().toString(u"HH:mm:ss "_s) + line + u'\n');
    return;
  }
  WriteText(err_,
            QString::fromUtf16(kClearLine) + ProgressBar(done_, total_, kBarWidth) + u' ' + line);
  bar_shown_ = true;
}

void ScriptFrontEnd::Say(const QString& line) {
  const QString clear = bar_shown_ ? QString::fromUtf16(kClearLine) : QString();
  WriteText(err_, clear + line + u'\n');
  if (bar_shown_) Show();
}

void ScriptFrontEnd::Finish(const QString& closing) {
  finished_ = true;
  repeat_.stop();
  if (bar_shown_) WriteText(err_, QString::fromUtf16(kClearLine));
  bar_shown_ = false;
  if (!style_.quiet) WriteText(err_, closing + u'\n');
}

}  // namespace ph
