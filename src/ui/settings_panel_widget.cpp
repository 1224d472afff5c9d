#include "ui/settings_panel_widget.h"

#include "core/settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <utility>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// A match text is a word or two of the test page.
constexpr int kMatchWidth = 64;

QWidget* Row(std::initializer_list<QWidget*> widgets) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  for (QWidget* w : widgets) layout->addWidget(w);
  layout->addStretch(1);
  return row;
}

QLabel* Label(const QString& text) { return new QLabel(text); }

QLineEdit* NumberEdit(const QString& name, int width) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setFixedWidth(width);
  return edit;
}

QLineEdit* TextEdit(const QString& name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  return edit;
}

QCheckBox* CheckBox(const QString& name, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(name);
  return box;
}

QRadioButton* Option(QButtonGroup* group, const QString& name, int index, const QString& caption) {
  auto* button = new QRadioButton(caption);
  button->setObjectName(u"%1(%2)"_s.arg(name).arg(index));
  group->addButton(button, index);
  return button;
}

QGroupBox* Frame(const QString& caption, QLayout* layout) {
  auto* frame = new QGroupBox(caption);
  frame->setLayout(layout);
  return frame;
}

QPushButton* Button(const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  return button;
}

// Typing stops at the field's width, but a longer text the program writes (the control API
// may) shows whole, as it applies, until it is edited back within the width.
void FitWidth(QLineEdit* edit, const TextControl& control, const QString& text) {
  if (control.max_length > 0)
    edit->setMaxLength(std::max(control.max_length, static_cast<int>(text.size())));
}

// The text of the settings in the field; the width first, or the field would cut it.
void ShowText(QLineEdit* edit, const TextControl& control, const QString& text) {
  FitWidth(edit, control, text);
  edit->setText(text);
}

// The options of one group of test targets over the custom target's URL and match text. The
// URL takes all the width the frame can spare, so more of it shows as it is typed, and shows
// whole as its tool tip.
QGridLayout* TargetGrid(QButtonGroup* group,
                        const std::array<std::pair<int, const char16_t*>, 4>& options,
                        const QString& url_name, const QString& match_name) {
  auto* grid = new QGridLayout;
  int column = 0;
  for (const auto& [index, caption] : options)
    grid->addWidget(Option(group, u"Gtn"_s, index, QString::fromUtf16(caption)), 0, column++);
  QLineEdit* url = TextEdit(url_name);
  QObject::connect(url, &QLineEdit::textChanged, url, &QWidget::setToolTip);
  QLineEdit* match = TextEdit(match_name);
  match->setFixedWidth(kMatchWidth);
  auto* custom = new QHBoxLayout;
  custom->addWidget(url, 1);
  custom->addWidget(Label(u"特征字符:"_s));
  custom->addWidget(match);
  grid->addLayout(custom, 1, 0, 1, column);
  return grid;
}

}  // namespace

SettingsPanelWidget::SettingsPanelWidget(Settings& settings, QWidget* parent)
    : QGroupBox(u"设置 [Seting]"_s, parent), settings_(settings) {
  setObjectName(u"setFrm"_s);
  setAutoFillBackground(true);
  BuildLayout();
  BindFields();
}

void SettingsPanelWidget::BuildLayout() {
  // Validation: threads, time-out, test type and the two test targets.
  otn_ = new QButtonGroup(this);
  auto* mode_layout = new QHBoxLayout;
  mode_layout->addWidget(Option(otn_, u"Otn"_s, 0, u"Http"_s));
  mode_layout->addWidget(Option(otn_, u"Otn"_s, 1, u"Https"_s));
  mode_layout->addWidget(Option(otn_, u"Otn"_s, 2, u"Http + Https"_s));
  mode_layout->addStretch(1);

  // Both Gtn groups share one button group with exclusivity handled per frame below.
  gtn_ = new QButtonGroup(this);
  gtn_->setExclusive(false);
  QGridLayout* http_layout =
      TargetGrid(gtn_, {{{0, u"新浪"}, {1, u"IP138"}, {2, u"中国站长"}, {7, u"自定义"}}},
                 u"Text16"_s, u"Text17"_s);
  QGridLayout* https_layout =
      TargetGrid(gtn_, {{{3, u"淘宝"}, {4, u"百度"}, {5, u"新浪微博"}, {6, u"自定义"}}},
                 u"Text14"_s, u"Text15"_s);

  auto* validation = new QVBoxLayout;
  validation->addWidget(
      Row({Label(u"验证线程"_s), NumberEdit(u"Text3"_s, 40), Label(u"验证超时限制"_s),
           NumberEdit(u"Text2"_s, 48), Label(u"ms"_s), CheckBox(u"Check10"_s, u"检测匿名度"_s)}));
  validation->addWidget(Frame(u"验证类型"_s, mode_layout));
  validation->addWidget(Frame(u"验证连接接口 Http"_s, http_layout));
  validation->addWidget(Frame(u"验证连接接口 Https"_s, https_layout));

  // Harvesting and the automatic modes.
  auto* harvest = new QVBoxLayout;
  harvest->addWidget(Row({Label(u"默认采集页数"_s), NumberEdit(u"Text1"_s, 48), Label(u"页"_s)}));
  harvest->addWidget(Row({Label(u"采集延时"_s), NumberEdit(u"Text7"_s, 48), Label(u"ms"_s)}));
  harvest->addWidget(
      Row({CheckBox(u"Check1"_s, u"西刺-高匿"_s), CheckBox(u"Check6"_s, u"国外"_s)}));
  harvest->addWidget(
      Row({CheckBox(u"Check2"_s, u"西刺-普通"_s), CheckBox(u"Check7"_s, u"国外"_s)}));
  harvest->addWidget(
      Row({CheckBox(u"Check3"_s, u"66代理"_s), CheckBox(u"Check9"_s, u"公开列表"_s)}));
  auto* update = NumberEdit(u"Text11"_s, 48);
  update->setToolTip(u"提取新IP的频率"_s);
  harvest->addWidget(Row({Label(u"代理更新频率"_s), update, Label(u"秒"_s)}));
  auto* retest = NumberEdit(u"Text13"_s, 56);
  retest->setToolTip(u"0行为不设上限"_s);
  harvest->addWidget(Row({Label(u"代理重验频率"_s), retest, Label(u"秒"_s)}));
  auto* row_limit = NumberEdit(u"Text12"_s, 56);
  row_limit->setToolTip(u"0行为不设上限"_s);
  harvest->addWidget(Row({Label(u"列表保存上限"_s), row_limit, Label(u"行"_s)}));
  harvest->addWidget(
      Row({CheckBox(u"Check5"_s, u"自动更新"_s), CheckBox(u"Check4"_s, u"自动重验"_s)}));
  harvest->addStretch(1);

  // Success filter and the control API.
  auto* filter = new QVBoxLayout;
  filter->addWidget(CheckBox(u"Check8"_s, u"过滤成功率"_s));
  filter->addWidget(Row({Label(u"验证次数:"_s), NumberEdit(u"Text18"_s, 56)}));
  filter->addWidget(Row({Label(u"最低成功率(%):"_s), NumberEdit(u"Text19"_s, 56)}));
  filter->addSpacing(8);
  external_address_ = Button(u"Command5"_s, u"本机IP"_s);
  api_ = Button(u"Command4"_s, u"启动接口"_s);
  filter->addWidget(Row({Label(u"端口:"_s), NumberEdit(u"Text8"_s, 56), api_}));
  auto* password = TextEdit(u"Text10"_s);
  password->setToolTip(u"请求数据时,验证密码"_s);
  filter->addWidget(password);
  filter->addStretch(1);
  apply_ = Button(u"Command3"_s, u"应 用"_s);
  hide_ = Button(u"Command2"_s, u"隐 藏"_s);
  // Two rows of buttons keep this column narrow, for the room the validation column needs.
  filter->addWidget(Row({external_address_}));
  filter->addWidget(Row({apply_, hide_}));

  // The validation column takes the width to spare, for the custom URLs.
  auto* columns = new QHBoxLayout;
  columns->addLayout(validation, 1);
  columns->addLayout(harvest, 0);
  columns->addLayout(filter, 0);

  // The address line reads like a label: the window's background, not editable.
  auto* address = TextEdit(u"Text9"_s);
  address->setReadOnly(true);
  address->setFrame(false);
  QPalette palette = address->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  address->setPalette(palette);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 4, 6, 4);
  outer->setSpacing(2);
  outer->addLayout(columns, 1);
  outer->addWidget(address);
}

void SettingsPanelWidget::BindFields() {
  const SettingsPanel& panel = settings_.Panel();
  for (const TextControl& control : TextControls()) {
    QLineEdit* edit = findChild<QLineEdit*>(control.name);
    if (!edit) continue;
    ShowText(edit, control, panel.*control.field);
    // Whatever put the text there (typing, paste, the program, accessibility) is what applies.
    // A write that comes back from the settings finds the same text there and goes no further.
    connect(edit, &QLineEdit::textChanged, this, [this, edit, &control](const QString& text) {
      FitWidth(edit, control, text);
      settings_.SetText(control.field, text);
    });
    if (control.placeholder != nullptr) edit->installEventFilter(this);
  }
  for (const CheckControl& control : CheckControls()) {
    QCheckBox* box = findChild<QCheckBox*>(control.name);
    if (!box) continue;
    box->setChecked(panel.*control.field == 1);
    const auto field = control.field;
    connect(box, &QCheckBox::clicked, this,
            [this, field](bool checked) { settings_.SetCheck(field, checked ? 1 : 0); });
  }
  connect(&settings_, &Settings::TextChanged, this, [this](TextField field) {
    for (const TextControl& control : TextControls()) {
      if (control.field != field) continue;
      QLineEdit* edit = findChild<QLineEdit*>(control.name);
      const QString& value = settings_.Panel().*field;
      if (edit && edit->text() != value) ShowText(edit, control, value);
    }
  });
  connect(&settings_, &Settings::CheckChanged, this, [this](CheckField field, int value) {
    for (const CheckControl& control : CheckControls()) {
      if (control.field != field) continue;
      if (QCheckBox* box = findChild<QCheckBox*>(control.name)) {
        box->setTristate(value == 2);
        box->setCheckState(value == 2 ? Qt::PartiallyChecked
                                      : (value == 1 ? Qt::Checked : Qt::Unchecked));
      }
    }
  });

  otn_->button(panel.Otn)->setChecked(true);
  connect(otn_, &QButtonGroup::idClicked, &settings_, &Settings::SelectOtn);
  connect(&settings_, &Settings::OtnChanged, this,
          [this](int index) { otn_->button(index)->setChecked(true); });

  auto show_gtn = [this] {
    for (QAbstractButton* button : gtn_->buttons()) {
      const int id = gtn_->id(button);
      button->setChecked(id == settings_.Panel().GtnHttp || id == settings_.Panel().GtnHttps);
    }
  };
  show_gtn();
  connect(gtn_, &QButtonGroup::idClicked, this, [this, show_gtn](int index) {
    settings_.SelectGtn(index);
    show_gtn();  // a click on the selected option must not clear it
  });
  connect(&settings_, &Settings::GtnChanged, this, show_gtn);
}

bool SettingsPanelWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn) {
    for (const TextControl& control : TextControls()) {
      if (watched->objectName() == control.name) settings_.ClearPlaceholder(control.field);
    }
  }
  return QGroupBox::eventFilter(watched, event);
}

}  // namespace ph
