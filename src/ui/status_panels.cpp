#include "ui/status_panels.h"

#include <QPainter>
#include <QStyle>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

QRect ElidedLabel::TextArea() const {
  return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

QString ElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextArea().width());
}

void ElidedLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  drawFrame(&painter);
  style()->drawItemText(&painter, TextArea(),
                        QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

StatusPanels::StatusPanels(QStatusBar* bar, const QString& credit_line) {
  const std::array<QString, 7> initial{u"总数"_s, u"0"_s, u"成功"_s,  u"0"_s,
                                       u"线程"_s, u"0"_s, credit_line};
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    const bool message = i + 1 == kMessage;
    QLabel* label = message ? new ElidedLabel(bar) : new QLabel(bar);
    label->setObjectName(u"Panel%1"_s.arg(i + 1));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(i % 2 == 0 ? 36 : 56);
    bar->addWidget(label, message ? 1 : 0);
    labels_[i] = label;
    Set(static_cast<int>(i) + 1, initial[i]);
  }
}

void StatusPanels::Set(int panel, const QString& text) {
  if (panel < 1 || panel > 7) return;
  QLabel* label = labels_[static_cast<std::size_t>(panel - 1)];
  label->setText(text);
  // Messages may be longer than the panel is wide: the tool tip shows them whole.
  if (panel == kMessage) label->setToolTip(text);
}

QString StatusPanels::Text(int panel) const {
  if (panel < 1 || panel > 7) return {};
  return labels_[static_cast<std::size_t>(panel - 1)]->text();
}

}  // namespace ph
