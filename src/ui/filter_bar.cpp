#include "ui/filter_bar.h"

#include "ui/list_view_model.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct ProtocolToggle {
  Protocol protocol;
  const char16_t* caption;
  const char* name;
};
constexpr std::array<ProtocolToggle, 3> kToggles{{{kHttp, u"HTTP", "FilterHttp"},
                                                  {kSocks4, u"SOCKS4", "FilterSocks4"},
                                                  {kSocks5, u"SOCKS5", "FilterSocks5"}}};

}  // namespace

FilterBar::FilterBar(ListViewModel& rows, QWidget* parent)
    : QWidget(parent),
      rows_(rows),
      text_(new QLineEdit(this)),
      successful_(new QCheckBox(u"仅成功"_s, this)),
      count_(new QLabel(this)) {
  setObjectName(u"FilterBar"_s);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);

  text_->setObjectName(u"Filter"_s);
  text_->setAccessibleName(u"筛选"_s);
  text_->setPlaceholderText(u"筛选: IP、地区或类型"_s);
  text_->setClearButtonEnabled(true);
  layout->addWidget(text_, 1);
  connect(text_, &QLineEdit::textChanged, this, [this] { rows_.SetFilter(Current()); });

  successful_->setObjectName(u"FilterSuccess"_s);
  successful_->setToolTip(u"只显示验证成功的代理"_s);
  layout->addWidget(successful_);
  connect(successful_, &QCheckBox::toggled, this, [this] { rows_.SetFilter(Current()); });

  for (std::size_t i = 0; i < kToggles.size(); ++i) {
    auto* toggle = new QToolButton(this);
    toggle->setObjectName(QLatin1StringView(kToggles[i].name));
    toggle->setText(QString::fromUtf16(kToggles[i].caption));
    toggle->setCheckable(true);
    toggle->setToolTip(u"只显示 %1 代理"_s.arg(toggle->text()));
    layout->addWidget(toggle);
    connect(toggle, &QToolButton::toggled, this, [this] { rows_.SetFilter(Current()); });
    protocols_[i] = toggle;
  }

  count_->setObjectName(u"FilterCount"_s);
  layout->addWidget(count_);
  connect(&rows_, &QAbstractItemModel::layoutChanged, this, &FilterBar::ShowCount);
  connect(&rows_, &QAbstractItemModel::modelReset, this, &FilterBar::ShowCount);
  connect(&rows_, &QAbstractItemModel::rowsInserted, this, &FilterBar::ShowCount);
  connect(&rows_, &QAbstractItemModel::rowsRemoved, this, &FilterBar::ShowCount);
  ShowCount();
}

RowFilter FilterBar::Current() const {
  RowFilter filter{text_->text(), successful_->isChecked(), 0};
  for (std::size_t i = 0; i < kToggles.size(); ++i)
    if (protocols_[i]->isChecked()) filter.protocols |= kToggles[i].protocol;
  return filter;
}

void FilterBar::ShowCount() {
  // Only while rows are left out: otherwise panel 2 says it.
  count_->setText(rows_.Filter().Active()
                      ? u"显示 %1 / %2"_s.arg(rows_.Shown()).arg(rows_.List().RowCount())
                      : QString());
}

}  // namespace ph
