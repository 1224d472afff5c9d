#include "ui/status_panels.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

StatusPanels::StatusPanels(QStatusBar* bar, const QString& credit_line) {
  const std::array<QString, 7> initial{u"总数"_s, u"0"_s, u"成功"_s, u"0"_s,
                                       u"线程"_s, u"0"_s, credit_line};
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    auto* label = new QLabel(initial[i], bar);
    label->setObjectName(u"Panel%1"_s.arg(i + 1));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(i % 2 == 0 ? 36 : 56);
    bar->addWidget(label, i == 6 ? 1 : 0);
    labels_[i] = label;
  }
}

void StatusPanels::Set(int panel, const QString& text) {
  if (panel >= 1 && panel <= 7) labels_[static_cast<std::size_t>(panel - 1)]->setText(text);
}

QString StatusPanels::Text(int panel) const {
  if (panel < 1 || panel > 7) return {};
  return labels_[static_cast<std::size_t>(panel - 1)]->text();
}

}  // namespace ph
