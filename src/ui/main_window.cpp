#include "ui/main_window.h"

#include "app/application.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "ui/filter_bar.h"
#include "ui/list_view_model.h"
#include "ui/message_hold.h"
#include "ui/message_log.h"
#include "ui/message_log_dialog.h"
#include "ui/row_selection.h"
#include "ui/run_progress_bar.h"
#include "ui/settings_panel_widget.h"
#include "ui/status_panels.h"
#include "ui/twips.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>

#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Design sizes, in twips.
constexpr std::array<int, kCellCount> kColumnWidths{1411, 3528, 3175, 1940, 1764, 1587, 1411,
                                                    1411, 1764, 2893, 1587, 1587, 1411, 3528};
constexpr int kClientWidth = 10470;
constexpr int kClientHeight = 5250;
constexpr int kListLeft = 45;
constexpr int kListTop = 45;
constexpr int kPanelMargin = 50;  // the settings frame is this much larger than the list
constexpr int kProgressWidth = 2000;
// How long a problem stays in panel 7 before a progress text may replace it.
constexpr std::chrono::seconds kProblemHold{3};

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Critical:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString MainWindow::CreditLine() {
  return u"ProxyHarvest 代理采集验证工具 · ProxyHarvest 开发组"_s;
}

MainWindow::MainWindow(Application& application, QWidget* parent)
    : QMainWindow(parent), application_(application), state_(application.State()) {
  setObjectName(u"frmMain"_s);
  setWindowTitle(u"ProxyHarvest 代理采集验证工具 v"_s + QStringLiteral(PH_VERSION));
  setCentralWidget(new QWidget(this));
  panels_ = std::make_unique<StatusPanels>(statusBar(), CreditLine());
  log_ = new MessageLog(&QDateTime::currentDateTime, this);
  hold_ = new MessageHold(kProblemHold, this);
  QLabel* message_panel = panels_->Label(StatusPanels::kMessage);
  message_panel->setCursor(Qt::PointingHandCursor);
  message_panel->installEventFilter(this);
  auto* progress = new RunProgressBar(state_.StatusBar(), statusBar());
  progress->setFixedWidth(Twips(this, kProgressWidth));
  statusBar()->addWidget(progress);  // beside the message panel
  statusBar()->setObjectName(u"Sb"_s);
  statusBar()->setSizeGripEnabled(true);

  BuildList();
  settings_panel_ = new SettingsPanelWidget(state_.Config(), centralWidget());
  settings_panel_->hide();
  const std::pair<QPushButton*, CommandId> buttons[] = {
      {settings_panel_->ApplyButton(), CommandId::kApplySettings},
      {settings_panel_->ApiButton(), CommandId::kToggleApi},
      {settings_panel_->ExternalAddressButton(), CommandId::kShowExternalAddress}};
  for (const auto& [button, id] : buttons)
    connect(button, &QPushButton::clicked, this, [this, id = id] { application_.Run(id); });
  connect(settings_panel_->HideButton(), &QPushButton::clicked, settings_panel_, &QWidget::hide);
  connect(&application_.Api(), &ApiServer::ListeningChanged, settings_panel_->ApiButton(),
          [button = settings_panel_->ApiButton()](bool listening) {
            button->setText(listening ? u"停 止"_s : u"启动接口"_s);
          });
  BuildMenus();
  ShowStatus();

  // The smallest outer size is the initial client area plus borders, title and menu bar,
  // so the initial size is also the minimum.
  const QSize initial(Twips(this, kClientWidth),
                      Twips(this, kClientHeight) + menuBar()->sizeHint().height());
  setMinimumSize(initial);
  resize(initial);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildList() {
  rows_ = new ListViewModel(state_.List(), this);
  list_view_ = new QTableView(centralWidget());
  list_view_->setObjectName(u"Lv"_s);
  list_view_->setModel(rows_);
  list_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_view_->setWordWrap(false);
  list_view_->setShowGrid(false);
  list_view_->setAlternatingRowColors(false);
  list_view_->verticalHeader()->hide();
  list_view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_view_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  QHeaderView* header = list_view_->horizontalHeader();
  header->setHighlightSections(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // A click sorts the view by the column, the next reverses it, the third gives the list's own
  // order back.
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicatorClearable(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  connect(header, &QHeaderView::sortIndicatorChanged, rows_, &ListViewModel::SortBy);
  for (int column = 0; column < kCellCount; ++column)
    list_view_->setColumnWidth(column,
                               Twips(this, kColumnWidths[static_cast<std::size_t>(column)]));
  new RowSelection(*rows_, *list_view_);
  list_view_->viewport()->installEventFilter(this);
  filter_bar_ = new FilterBar(*rows_, centralWidget());
}

void MainWindow::BuildMenus() {
  QMenu* program_menu = menuBar()->addMenu(u"程序菜单"_s);
  program_menu->setObjectName(u"Mymenu"_s);
  QAction* about = program_menu->addAction(u"关于程序"_s, this, &MainWindow::ShowAbout);
  about->setObjectName(u"AboutMe"_s);
  AddCommand(program_menu, CommandId::kQuit);

  // The list's context menu, also reachable from the menu bar.
  list_menu_ = menuBar()->addMenu(u"右键菜单"_s);
  BuildListMenu(list_menu_);

  QAction* settings = menuBar()->addAction(u"程序设置"_s, this, &MainWindow::ToggleSettingsPanel);
  settings->setObjectName(u"softSetMenu"_s);
  QAction* log = menuBar()->addAction(u"消息记录"_s, this, &MainWindow::ShowMessageLog);
  log->setObjectName(u"LogMenu"_s);

  stop_get_ = AddCommand(nullptr, CommandId::kStopHarvest);
  stop_test_ = AddCommand(nullptr, CommandId::kStopValidation);
}

QAction* MainWindow::AddCommand(QMenu* menu, CommandId id) {
  const CommandSpec& command = SpecOf(id);
  QAction* action = menu != nullptr ? menu->addAction(command.Caption())
                                    : menuBar()->addAction(command.Caption());
  action->setObjectName(command.Name());
  connect(action, &QAction::triggered, this, [this, id] { application_.Run(id); });
  return action;
}

void MainWindow::ShowStatus() {
  const Status& status = state_.StatusBar();
  auto number = [this](int panel) {
    return [this, panel](int value) { panels_->Set(panel, QString::number(value)); };
  };
  const auto take_text = [this](const QString& text, TextKind kind) {
    log_->Add(text, kind);
    hold_->Take(text, kind);
  };
  connect(&status, &Status::TextChanged, this, take_text);
  connect(hold_, &MessageHold::Show, this,
          [this](const QString& text) { panels_->Set(StatusPanels::kMessage, text); });
  connect(&status, &Status::RowsChanged, this, number(StatusPanels::kRows));
  connect(&status, &Status::SuccessesChanged, this, number(StatusPanels::kSuccesses));
  connect(&status, &Status::WorkersChanged, this, number(StatusPanels::kWorkers));
  const auto show_item = [this](MenuItem item, bool visible) {
    QAction* action = item == MenuItem::StopGet ? stop_get_ : stop_test_;
    action->setVisible(visible);
    action->setEnabled(visible);
  };
  connect(&status, &Status::MenuItemChanged, this, show_item);
  panels_->Set(StatusPanels::kRows, QString::number(status.Rows()));
  panels_->Set(StatusPanels::kSuccesses, QString::number(status.Successes()));
  panels_->Set(StatusPanels::kWorkers, QString::number(status.Workers()));
  if (!status.Text().isEmpty()) take_text(status.Text(), status.Kind());
  for (const MenuItem item : {MenuItem::StopGet, MenuItem::StopTest})
    show_item(item, status.MenuItemVisible(item));
}

void MainWindow::ToggleSettingsPanel() {
  LayOut();
  settings_panel_->setVisible(!settings_panel_->isVisible());
  if (settings_panel_->isVisible()) settings_panel_->raise();
}

void MainWindow::ShowMessageLog() {
  if (log_dialog_ == nullptr) log_dialog_ = new MessageLogDialog(*log_, this);
  log_dialog_->show();
  log_dialog_->raise();
  log_dialog_->activateWindow();
}

void MainWindow::ShowAbout() {
  QMessageBox::information(
      this, QApplication::applicationDisplayName(),
      CreditLine() + u"\n\n程序仅供学习参考,由此程序引发的任何后果均由当事使用者承担!"_s);
}

void MainWindow::LayOut() {
  const QSize area = centralWidget()->size();
  const int left = Twips(this, kListLeft);
  const int top = Twips(this, kListTop);
  const QRect list(left, top, std::max(area.width() - 2 * left, 0),
                   std::max(area.height() - 2 * top, 0));
  // The filter bar above the list, in the list's place.
  const int bar = filter_bar_->sizeHint().height();
  filter_bar_->setGeometry(list.left(), list.top(), list.width(), bar);
  list_view_->setGeometry(list.adjusted(0, bar + top, 0, 0));
  // The frame lies over the list from the window's top left corner, a little larger.
  const int margin = Twips(this, kPanelMargin);
  settings_panel_->setGeometry(0, 0, list.width() + margin, list.height() + margin);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayOut();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  application_.RequestQuit(Application::kAtOnce);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The context menu opens when the right button is released over the list.
  // The type first: other events arrive while the list is being destroyed.
  if (event->type() == QEvent::MouseButtonRelease && watched == list_view_->viewport()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      list_menu_->popup(mouse->globalPosition().toPoint());
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonRelease &&
      watched == panels_->Label(StatusPanels::kMessage) &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    ShowMessageLog();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

QString MainWindow::Panel(int panel) const { return panels_->Text(panel); }

void MainWindow::SetListVisible(bool visible) { list_view_->setVisible(visible); }

int MainWindow::CurrentRow() const {
  const QModelIndex current = list_view_->currentIndex();
  return current.isValid() ? rows_->ListRow(current.row() + 1) : 0;
}

MessageAnswer MainWindow::ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                                      MessageButtons buttons) {
  QMessageBox box(
      ToQtIcon(icon), title, text,
      buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
      this);
  const int answer = box.exec();
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

std::optional<QString> MainWindow::AskText(const QString& prompt, const QString& title) {
  bool accepted = false;
  const QString text = QInputDialog::getText(this, title, prompt, QLineEdit::Normal, {}, &accepted);
  if (!accepted) return std::nullopt;
  return text;
}

QString MainWindow::ClipboardText() const { return QGuiApplication::clipboard()->text(); }

void MainWindow::SetClipboardText(const QString& text) {
  QGuiApplication::clipboard()->clear();
  QGuiApplication::clipboard()->setText(text);
}

void MainWindow::HideWindow() { hide(); }

}  // namespace ph
