#include "ui/message_log.h"

#include <QColor>

#include <utility>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

MessageLog::MessageLog(Clock clock, QObject* parent)
    : QAbstractListModel(parent), clock_(std::move(clock)) {}

void MessageLog::Add(const QString& text, TextKind kind) {
  if (Count() == kMostMessages) {
    beginRemoveRows({}, kMostMessages - 1, kMostMessages - 1);
    messages_.pop_back();
    endRemoveRows();
  }
  beginInsertRows({}, 0, 0);
  messages_.push_front({clock_(), text, kind});
  endInsertRows();
}

QString MessageLog::Line(int row) const {
  if (row < 0 || row >= Count()) return {};
  const Message& message = messages_[static_cast<std::size_t>(row)];
  return message.time.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u"  "_s + message.text;
}

TextKind MessageLog::Kind(int row) const {
  if (row < 0 || row >= Count()) return TextKind::kProgress;
  return messages_[static_cast<std::size_t>(row)].kind;
}

int MessageLog::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

QVariant MessageLog::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  const bool problem = Kind(index.row()) == TextKind::kProblem;
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:  // a long line shows whole
      return Line(index.row());
    case Qt::ForegroundRole:
      // Problems stand out, for the eye and for a screen reader.
      return problem ? QVariant(QColor(0xb0, 0x00, 0x00)) : QVariant();
    case Qt::AccessibleDescriptionRole:
      return problem ? QVariant(u"问题"_s) : QVariant();
    default:
      return {};
  }
}

}  // namespace ph
