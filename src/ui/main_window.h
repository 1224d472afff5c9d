#pragma once

#include "core/command_types.h"
#include "core/front_end.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QMenu;
class QTableView;

namespace ph {

class Application;
class AppState;
class FilterBar;
class ListViewModel;
class MessageHold;
class MessageLog;
class MessageLogDialog;
class SettingsPanelWidget;
class StatusPanels;

// The one window, frmMain: the list view Lv, the settings frame setFrm, the status bar and the
// menus. It is handed the core, shows its status values, routes user actions to the core's
// commands and answers the core's questions as its front end.
class MainWindow : public QMainWindow, public FrontEnd {
  Q_OBJECT

 public:
  explicit MainWindow(Application& application, QWidget* parent = nullptr);
  ~MainWindow() override;

  AppState& State() { return state_; }
  // The text a status panel shows.
  QString Panel(int panel) const;
  // Every status text so far, newest first.
  const MessageLog& Log() const { return *log_; }

  // FrontEnd
  void SetListVisible(bool visible) override;
  int CurrentRow() const override;
  MessageAnswer ShowMessage(const QString& text, const QString& title, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<QString> AskText(const QString& prompt, const QString& title) override;
  QString ClipboardText() const override;
  void SetClipboardText(const QString& text) override;
  void HideWindow() override;

  static QString CreditLine();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildList();
  void BuildMenus();
  void BuildListMenu(QMenu* menu);  // Zxmenu, in list_menu.cpp
  // A menu item that runs the command.
  QAction* AddCommand(QMenu* menu, CommandId id);
  void ShowStatus();
  void ShowMessageLog();       // "消息记录", also a click on panel 7
  void ToggleSettingsPanel();  // softSetMenu "程序设置"
  void ShowAbout();            // AboutMe "关于程序"
  void LayOut();

  Application& application_;
  AppState& state_;
  QMenu* list_menu_ = nullptr;     // Zxmenu
  ListViewModel* rows_ = nullptr;  // what the list view shows of the list
  QTableView* list_view_ = nullptr;
  FilterBar* filter_bar_ = nullptr;
  SettingsPanelWidget* settings_panel_ = nullptr;
  std::unique_ptr<StatusPanels> panels_;
  MessageLog* log_ = nullptr;
  MessageHold* hold_ = nullptr;  // what panel 7 shows of the texts
  MessageLogDialog* log_dialog_ = nullptr;
  QAction* stop_get_ = nullptr;
  QAction* stop_test_ = nullptr;
};

}  // namespace ph
