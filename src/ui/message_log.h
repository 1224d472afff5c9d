#pragma once

#include "core/status.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>

namespace ph {

// Every status text the window was given, with the time it came, newest first: the last
// kMostMessages of them, so that a text panel 7 showed only for a moment can still be read.
class MessageLog : public QAbstractListModel {
  Q_OBJECT

 public:
  static constexpr int kMostMessages = 1000;
  using Clock = std::function<QDateTime()>;

  explicit MessageLog(Clock clock = &QDateTime::currentDateTime, QObject* parent = nullptr);

  void Add(const QString& text, TextKind kind);
  int Count() const { return static_cast<int>(messages_.size()); }
  // Message row (0 the newest) as the log shows and copies it: its time, then its text.
  QString Line(int row) const;
  TextKind Kind(int row) const;

  // QAbstractListModel
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  struct Message {
    QDateTime time;
    QString text;
    TextKind kind;
  };

  Clock clock_;
  std::deque<Message> messages_;  // newest first
};

}  // namespace ph
