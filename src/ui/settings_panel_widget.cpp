#include "ui/settings_panel_widget.h"

#include "core/settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
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

// The label beside a field: it names the field on the screen, and moves the focus there.
QLabel* LabelFor(QWidget* field, const QString& text) {
  QLabel* label = Label(text);
  label->setBuddy(field);
  return label;
}

// A field named and labelled as its control says, for the eye and for a screen reader.
QLineEdit* TextEdit(TextField field) {
  const Control& control = ControlOf(field);
  auto* edit = new QLineEdit;
  edit->setObjectName(QString(control.name));
  edit->setAccessibleName(control.Label());
  return edit;
}

QLineEdit* NumberEdit(TextField field, int width) {
  QLineEdit* edit = TextEdit(field);
  edit->setFixedWidth(width);
  return edit;
}

QCheckBox* CheckBox(CheckField field) {
  const Control& control = ControlOf(field);
  auto* box = new QCheckBox(control.Caption());
  box->setObjectName(QString(control.name));
  box->setAccessibleName(control.Label());
  return box;
}

// A field and the label beside it that shows its control's text.
std::pair<QLabel*, QLineEdit*> Labelled(TextField field, int width) {
  QLineEdit* edit = NumberEdit(field, width);
  return {LabelFor(edit, ControlOf(field).Label()), edit};
}

// An option of a choice. Two choices have an option "自定义": a screen reader says whose.
QRadioButton* Option(QButtonGroup* group, const QString& name, const Control& choice,
                     const ChoiceOption& option) {
  auto* button = new QRadioButton(QString::fromUtf16(option.caption));
  button->setObjectName(u"%1(%2)"_s.arg(name).arg(option.value));
  button->setAccessibleName(choice.Label() + u' ' + button->text());
  group->addButton(button, option.value);
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
void FitWidth(QLineEdit* edit, const Control& control, const QString& text) {
  if (control.max_length > 0)
    edit->setMaxLength(std::max(control.max_length, static_cast<int>(text.size())));
}

// The text of the settings in the field; the width first, or the field would cut it.
void ShowText(QLineEdit* edit, const Control& control, const QString& text) {
  FitWidth(edit, control, text);
  edit->setText(text);
}

// The options of one group of test targets over the custom target's URL and match text. The
// URL takes all the width the frame can spare, so more of it shows as it is typed, and shows
// whole as its tool tip.
QGridLayout* TargetGrid(QButtonGroup* group, IntField choice, TextField url_field,
                        TextField match_field) {
  auto* grid = new QGridLayout;
  int column = 0;
  const Control& control = ControlOf(choice);
  for (const ChoiceOption& option : control.Options())
    grid->addWidget(Option(group, u"Gtn"_s, control, option), 0, column++);
  QLineEdit* url = TextEdit(url_field);
  QObject::connect(url, &QLineEdit::textChanged, url, &QWidget::setToolTip);
  QLineEdit* match = TextEdit(match_field);
  match->setFixedWidth(kMatchWidth);
  auto* custom = new QHBoxLayout;
  custom->addWidget(url, 1);
  custom->addWidget(LabelFor(match, u"特征字符:"_s));
  custom->addWidget(match);
  grid->addLayout(custom, 1, 0, 1, column);
  return grid;
}

// A field beside its label, a row of a form.
QLineEdit* FormField(QFormLayout* form, TextField field, int width, const QString& label,
                     const QString& placeholder = {}) {
  QLineEdit* edit = NumberEdit(field, width);
  if (!placeholder.isEmpty()) edit->setPlaceholderText(placeholder);
  form->addRow(LabelFor(edit, label), edit);
  return edit;
}

// The rotating proxy port: its port, address, password, the minimum success ratio of its pool
// and how it chooses an upstream.
QGroupBox* RotateFrame() {
  auto* form = new QFormLayout;
  form->addRow(CheckBox(&SettingsPanel::Check12), NumberEdit(&SettingsPanel::Text21, 56));
  FormField(form, &SettingsPanel::Text22, 160, u"地址:"_s);
  FormField(form, &SettingsPanel::Text23, 160, u"密码:"_s, u"不设密码"_s);
  FormField(form, &SettingsPanel::Text24, 96, u"最低成功率(%):"_s, u"同过滤成功率"_s);
  const Control& strategy = ControlOf(&SettingsPanel::Rtn);
  auto* choice = new QComboBox;
  choice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  choice->setObjectName(QString(strategy.name));
  choice->setAccessibleName(strategy.Label());
  for (const ChoiceOption& option : strategy.Options())
    choice->addItem(QString::fromUtf16(option.caption), option.value);
  auto* strategy_row = new QHBoxLayout;
  strategy_row->addWidget(choice);
  strategy_row->addStretch(1);
  form->addRow(LabelFor(choice, u"策略:"_s), strategy_row);
  return Frame(u"轮换代理"_s, form);
}

// The status page for browsers and monitoring: its port, address and password.
QGroupBox* StatusFrame() {
  auto* form = new QFormLayout;
  form->addRow(CheckBox(&SettingsPanel::Check13), NumberEdit(&SettingsPanel::Text25, 56));
  FormField(form, &SettingsPanel::Text26, 160, u"地址:"_s);
  QLineEdit* password = FormField(form, &SettingsPanel::Text27, 160, u"密码:"_s, u"不设密码"_s);
  password->setToolTip(u"地址不是 127.0.0.1 等本机回环地址时, 空密码即用接口密码"_s);
  return Frame(u"状态页"_s, form);
}

// The services other programs and browsers reach besides the control API: the rotating proxy
// port and the status page. A page of its own, reached by a button, keeps the first page as it
// always was.
QWidget* ServicesPage(QPushButton* back) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* frames = new QHBoxLayout;
  frames->addWidget(RotateFrame(), 1);
  frames->addWidget(StatusFrame(), 1);
  layout->addLayout(frames);
  layout->addStretch(1);
  layout->addWidget(Row({back, Label(u"端口、地址、密码和策略的改动在 应 用 后生效"_s)}));
  return page;
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
  const Control& mode = ControlOf(&SettingsPanel::Otn);
  for (const ChoiceOption& option : mode.Options())
    mode_layout->addWidget(Option(otn_, u"Otn"_s, mode, option));
  mode_layout->addStretch(1);
  mode_layout->addWidget(CheckBox(&SettingsPanel::Check10));

  // Both Gtn groups share one button group with exclusivity handled per frame below.
  gtn_ = new QButtonGroup(this);
  gtn_->setExclusive(false);
  QGridLayout* http_layout =
      TargetGrid(gtn_, &SettingsPanel::GtnHttp, &SettingsPanel::Text16, &SettingsPanel::Text17);
  QGridLayout* https_layout =
      TargetGrid(gtn_, &SettingsPanel::GtnHttps, &SettingsPanel::Text14, &SettingsPanel::Text15);

  auto* validation = new QVBoxLayout;
  validation->setSpacing(2);
  // 并发数 stands right of 高速验证, whose caption labels it too; the anonymity check goes
  // with the validation type, so the first row keeps its height.
  const auto [threads_label, threads] = Labelled(&SettingsPanel::Text3, 30);
  const auto [timeout_label, timeout] = Labelled(&SettingsPanel::Text2, 36);
  QCheckBox* high_speed = CheckBox(&SettingsPanel::Check11);
  QLineEdit* probes = NumberEdit(&SettingsPanel::Text20, 40);
  probes->setToolTip(ControlOf(&SettingsPanel::Text20).Label() + u" (100-20000)"_s);
  validation->addWidget(
      Row({threads_label, threads, timeout_label, timeout, Label(u"ms"_s), high_speed, probes}));
  validation->addWidget(Frame(ControlOf(&SettingsPanel::Otn).Label(), mode_layout));
  validation->addWidget(Frame(ControlOf(&SettingsPanel::GtnHttp).Label(), http_layout));
  validation->addWidget(Frame(ControlOf(&SettingsPanel::GtnHttps).Label(), https_layout));

  // Harvesting and the automatic modes.
  auto* harvest = new QVBoxLayout;
  const auto [pages_label, pages] = Labelled(&SettingsPanel::Text1, 48);
  harvest->addWidget(Row({pages_label, pages, Label(u"页"_s)}));
  const auto [delay_label, delay] = Labelled(&SettingsPanel::Text7, 48);
  harvest->addWidget(Row({delay_label, delay, Label(u"ms"_s)}));
  harvest->addWidget(Row({CheckBox(&SettingsPanel::Check1), CheckBox(&SettingsPanel::Check6)}));
  harvest->addWidget(Row({CheckBox(&SettingsPanel::Check2), CheckBox(&SettingsPanel::Check7)}));
  harvest->addWidget(Row({CheckBox(&SettingsPanel::Check3), CheckBox(&SettingsPanel::Check9)}));
  const auto [update_label, update] = Labelled(&SettingsPanel::Text11, 48);
  update->setToolTip(u"提取新IP的频率"_s);
  harvest->addWidget(Row({update_label, update, Label(u"秒"_s)}));
  const auto [retest_label, retest] = Labelled(&SettingsPanel::Text13, 56);
  retest->setToolTip(u"0行为不设上限"_s);
  harvest->addWidget(Row({retest_label, retest, Label(u"秒"_s)}));
  const auto [row_limit_label, row_limit] = Labelled(&SettingsPanel::Text12, 56);
  row_limit->setToolTip(u"0行为不设上限"_s);
  harvest->addWidget(Row({row_limit_label, row_limit, Label(u"行"_s)}));
  harvest->addWidget(Row({CheckBox(&SettingsPanel::Check5), CheckBox(&SettingsPanel::Check4)}));
  harvest->addStretch(1);

  // Success filter and the control API.
  auto* filter = new QVBoxLayout;
  filter->addWidget(CheckBox(&SettingsPanel::Check8));
  // The panel's labels are short here; the fields' accessible names say what they filter.
  QLineEdit* tests = NumberEdit(&SettingsPanel::Text18, 56);
  filter->addWidget(Row({LabelFor(tests, u"验证次数:"_s), tests}));
  QLineEdit* ratio = NumberEdit(&SettingsPanel::Text19, 56);
  filter->addWidget(Row({LabelFor(ratio, u"最低成功率(%):"_s), ratio}));
  filter->addSpacing(8);
  external_address_ = Button(u"Command5"_s, u"本机IP"_s);
  api_ = Button(u"Command4"_s, u"启动接口"_s);
  QLineEdit* port = NumberEdit(&SettingsPanel::Text8, 56);
  filter->addWidget(Row({LabelFor(port, u"端口:"_s), port, api_}));
  auto* password = TextEdit(&SettingsPanel::Text10);
  password->setToolTip(u"请求数据时,验证密码"_s);
  filter->addWidget(password);
  filter->addStretch(1);
  apply_ = Button(u"Command3"_s, u"应 用"_s);
  hide_ = Button(u"Command2"_s, u"隐 藏"_s);
  // Two rows of buttons keep this column narrow, for the room the validation column needs.
  auto* services = Button(u"ServicesPage"_s, u"服务端口..."_s);
  filter->addWidget(Row({external_address_, services}));
  filter->addWidget(Row({apply_, hide_}));

  // The validation column takes the width to spare, for the custom URLs.
  auto* columns = new QHBoxLayout;
  columns->addLayout(validation, 1);
  columns->addLayout(harvest, 0);
  columns->addLayout(filter, 0);

  // The address line reads like a label: the window's background, not editable.
  auto* address = TextEdit(&SettingsPanel::Text9);
  address->setReadOnly(true);
  address->setFrame(false);
  QPalette palette = address->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  address->setPalette(palette);

  auto* general = new QWidget;
  columns->setContentsMargins(0, 0, 0, 0);
  general->setLayout(columns);
  auto* back = Button(u"GeneralPage"_s, u"返 回"_s);
  auto* stack = new QStackedWidget;
  stack->setObjectName(u"SetPages"_s);
  stack->addWidget(general);
  stack->addWidget(ServicesPage(back));
  connect(services, &QPushButton::clicked, stack, [stack] { stack->setCurrentIndex(1); });
  connect(back, &QPushButton::clicked, stack, [stack] { stack->setCurrentIndex(0); });

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 4, 6, 4);
  outer->setSpacing(2);
  outer->addWidget(stack, 1);
  outer->addWidget(address);
}

void SettingsPanelWidget::BindFields() {
  const SettingsPanel& panel = settings_.Panel();
  for (const Control& control : Controls()) {
    if (control.kind == Control::Kind::kText) {
      QLineEdit* edit = findChild<QLineEdit*>(QString(control.name));
      if (!edit) continue;
      ShowText(edit, control, panel.*control.text);
      // Whatever put the text there (typing, paste, the program, accessibility) is what
      // applies. A write that comes back from the settings finds the same text there and goes
      // no further.
      connect(edit, &QLineEdit::textChanged, this, [this, edit, &control](const QString& text) {
        FitWidth(edit, control, text);
        settings_.SetText(control.text, text);
      });
      if (control.placeholder != nullptr) edit->installEventFilter(this);
    } else if (control.kind == Control::Kind::kCheck) {
      QCheckBox* box = findChild<QCheckBox*>(QString(control.name));
      if (!box) continue;
      box->setChecked(panel.*control.value == 1);
      const CheckField field = control.value;
      connect(box, &QCheckBox::clicked, this,
              [this, field](bool checked) { settings_.SetCheck(field, checked ? 1 : 0); });
    }
  }
  connect(&settings_, &Settings::TextChanged, this, [this](TextField field) {
    const Control& control = ControlOf(field);
    QLineEdit* edit = findChild<QLineEdit*>(QString(control.name));
    const QString& value = settings_.Panel().*field;
    if (edit && edit->text() != value) ShowText(edit, control, value);
  });
  connect(&settings_, &Settings::CheckChanged, this, [this](CheckField field, int value) {
    if (QCheckBox* box = findChild<QCheckBox*>(QString(ControlOf(field).name))) {
      box->setTristate(value == 2);
      box->setCheckState(value == 2 ? Qt::PartiallyChecked
                                    : (value == 1 ? Qt::Checked : Qt::Unchecked));
    }
  });

  auto* strategy = findChild<QComboBox*>(u"Rtn"_s);
  strategy->setCurrentIndex(strategy->findData(panel.Rtn));
  connect(strategy, &QComboBox::activated, this, [this, strategy](int index) {
    settings_.Choose(&SettingsPanel::Rtn, strategy->itemData(index).toInt());
  });
  connect(&settings_, &Settings::CheckChanged, strategy, [strategy](CheckField field, int value) {
    if (field == &SettingsPanel::Rtn) strategy->setCurrentIndex(strategy->findData(value));
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
    const Control* control = FindControl(watched->objectName());
    if (control != nullptr && control->kind == Control::Kind::kText)
      settings_.ClearPlaceholder(control->text);
  }
  return QGroupBox::eventFilter(watched, event);
}

}  // namespace ph
