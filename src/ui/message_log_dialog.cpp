#include "ui/message_log_dialog.h"

#include "ui/message_log.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

MessageLogDialog::MessageLogDialog(MessageLog& log, QWidget* parent)
    : QDialog(parent), log_(log), lines_(new QListView(this)) {
  setObjectName(u"MessageLog"_s);
  setWindowTitle(u"消息记录"_s);
  lines_->setObjectName(u"MessageLines"_s);
  lines_->setAccessibleName(u"消息记录"_s);
  lines_->setModel(&log_);
  lines_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lines_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lines_->setUniformItemSizes(true);
  lines_->setTextElideMode(Qt::ElideMiddle);
  lines_->installEventFilter(this);  // Ctrl+C copies whole lines, not the current one

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* copy = buttons->addButton(u"复制"_s, QDialogButtonBox::ActionRole);
  copy->setObjectName(u"CopyMessages"_s);
  copy->setAutoDefault(false);
  connect(copy, &QPushButton::clicked, this, &MessageLogDialog::Copy);
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lines_);
  layout->addWidget(buttons);
  resize(640, 360);
}

QString MessageLogDialog::CopiedText() const {
  QList<int> rows;
  for (const QModelIndex& index : lines_->selectionModel()->selectedRows())
    rows.push_back(index.row());
  if (rows.isEmpty())
    for (int row = 0; row < log_.Count(); ++row) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  QString text;
  for (const int row : rows) text += log_.Line(row) + u'\n';
  return text;
}

void MessageLogDialog::Copy() { QGuiApplication::clipboard()->setText(CopiedText()); }

bool MessageLogDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched == lines_ &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    Copy();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace ph
