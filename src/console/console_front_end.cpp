#include "console/console_front_end.h"

#include <QDateTime>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr int kCountsEveryMs = 1000;

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(const Status& status, std::FILE* out, QObject* parent)
    : QObject(parent), status_(status), out_(out) {
  counts_.setSingleShot(true);
  counts_.setInterval(kCountsEveryMs);
  connect(&counts_, &QTimer::timeout, this, &ConsoleFrontEnd::LogCounts);
  connect(&status, &Status::TextChanged, this, [this](const QString& text) { Log(text); });
  const auto counts_changed = [this] {
    if (!counts_.isActive()) counts_.start();
  };
  connect(&status, &Status::RowsChanged, this, counts_changed);
  connect(&status, &Status::SuccessesChanged, this, counts_changed);
}

void ConsoleFrontEnd::Log(const QString& text) {
  const QString line =
      QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss "_s) + text + u'\n';
  std::fputs(line.toUtf8().constData(), out_);
  std::fflush(out_);
}

void ConsoleFrontEnd::LogCounts() {
  const QString counts = u"总数 %1 成功 %2"_s.arg(status_.Rows()).arg(status_.Successes());
  if (counts == logged_counts_) return;
  logged_counts_ = counts;
  Log(counts);
}

}  // namespace ph
