#include "ui/main_window.h"

#include "app/application.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/list_rows.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"
#include "ui/started_window.h"
#include "ui/status_panels.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <tuple>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : application(dir.Dir()), window(test::StartWindow(application)) {}

  template <typename T>
  T* Find(const QString& name) {
    T* child = window.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name.toStdString();
    return child;
  }
  QAction* MenuAction(const QString& name) { return Find<QAction>(name); }

  test::TempProgramDir dir;
  Application application;
  MainWindow& window;
};

TEST_F(MainWindowTest, StartsWithTitleStatusPanelsAndDefaults) {
  EXPECT_EQ(window.objectName(), u"frmMain"_s);
  EXPECT_EQ(window.windowTitle(),
            u"ProxyHarvest 代理采集验证工具 v"_s + QStringLiteral(PH_VERSION));
  const QStringList expected{
      u"总数"_s, u"0"_s, u"成功"_s, u"0"_s, u"线程"_s, u"0"_s, MainWindow::CreditLine()};
  for (int panel = 1; panel <= 7; ++panel) {
    EXPECT_EQ(window.Panel(panel), expected[panel - 1]);
    EXPECT_EQ(Find<QLabel>(u"Panel%1"_s.arg(panel))->text(), expected[panel - 1]);
  }
  EXPECT_EQ(window.State().Config().Working().TestThreads, 100);
  EXPECT_TRUE(window.State().Config().Working().TestHttp);
  EXPECT_FALSE(MenuAction(u"StopTest"_s)->isVisible());
  EXPECT_FALSE(MenuAction(u"StopGet"_s)->isVisible());
  EXPECT_TRUE(MenuAction(u"softSetMenu"_s)->isVisible());
  EXPECT_EQ(MenuAction(u"AboutMe"_s)->text(), u"关于程序"_s);
  EXPECT_EQ(MenuAction(u"EndMenu"_s)->text(), u"退出"_s);
}

TEST_F(MainWindowTest, ALongMessageShowsItsBothEndsAndWholeAsToolTip) {
  auto* panel = Find<ElidedLabel>(u"Panel7"_s);
  const QString done = u"所有验证线程命令已执行完毕,如有未显示的结果,请手动再次验证即可!"_s;
  const QString message = u"开始"_s + done + done + u"结束"_s;
  window.State().StatusBar().SetText(message);
  QCoreApplication::processEvents();  // the status bar lays itself out
  EXPECT_EQ(window.Panel(7), message);
  EXPECT_EQ(panel->toolTip(), message);
  const QString shown = panel->ShownText();
  EXPECT_TRUE(shown.startsWith(u"开始所有"_s) && shown.contains(u'…') &&
              shown.endsWith(u"即可!结束"_s))
      << shown.toStdString();
}

TEST_F(MainWindowTest, TheListShowsCaptionsWidthsAndGreenResults) {
  auto* lv = Find<QTableView>(u"Lv"_s);
  ASSERT_NE(lv, nullptr);
  EXPECT_EQ(lv->model()->headerData(4, Qt::Horizontal).toString(), u"测试结果"_s);
  EXPECT_NEAR(lv->columnWidth(1), 3528 / 15, 2);
  EXPECT_NEAR(lv->columnWidth(13), 3528 / 15, 2);
  ProxyList& list = window.State().List();
  list.AppendRow({u"1.2.3.4:80"_s});
  test::SetResultColour(list, 1, QColor(0, 255, 0));
  EXPECT_EQ(lv->model()->data(lv->model()->index(0, 4), Qt::ForegroundRole).value<QColor>(),
            QColor(0, 255, 0));
}

TEST_F(MainWindowTest, MouseAndKeysSetTheListsSelectedFlags) {
  auto* lv = Find<QTableView>(u"Lv"_s);
  ProxyList& list = window.State().List();
  for (int i = 0; i < 6; ++i) list.AppendRow({u"10.0.0.%1:80"_s.arg(i)});
  QCoreApplication::processEvents();
  auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
    const QPoint at(20, lv->rowViewportPosition(row - 1) + 2);
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, modifiers, at);
  };
  click(2);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2}));
  click(4, Qt::ShiftModifier);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2, 3, 4}));
  click(3, Qt::ControlModifier);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2, 4}));
  click(6, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2, 3, 4, 5, 6}));
  click(1);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1}));
  QTest::keyClick(lv, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(lv, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 2, 3}));
  QTest::keyClick(lv, Qt::Key_End);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{6}));
  QTest::keyClick(lv, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(list.SelectedRows().size(), 6u);

  // The right button keeps a selection it falls on, and picks the row it does not.
  QTest::mousePress(lv->viewport(), Qt::RightButton, {},
                    QPoint(20, lv->rowViewportPosition(2) + 2));
  EXPECT_EQ(list.SelectedRows().size(), 6u);
  list.SelectOnly(1, 1);
  QTest::mousePress(lv->viewport(), Qt::RightButton, {},
                    QPoint(20, lv->rowViewportPosition(4) + 2));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{5}));
  Find<QMenu>(u"Zxmenu"_s)->hide();
}

TEST_F(MainWindowTest, SelectedFlagsArePaintedAsTheSelection) {
  auto* lv = Find<QTableView>(u"Lv"_s);
  ProxyList& list = window.State().List();
  for (int i = 0; i < 3; ++i) list.AppendRow({u"10.0.0.%1:80"_s.arg(i)});
  list.SetSelected(2, true);
  QCoreApplication::processEvents();
  const QImage image = lv->viewport()->grab().toImage();
  auto colour_at = [&](int row) {
    return image.pixelColor(
        QPoint(lv->columnWidth(0) / 2 + 30, lv->rowViewportPosition(row - 1) + 1));
  };
  const QColor highlight = lv->palette().color(QPalette::Active, QPalette::Highlight);
  EXPECT_EQ(colour_at(2), highlight);
  EXPECT_NE(colour_at(1), highlight);
  EXPECT_NE(colour_at(3), highlight);
}

TEST_F(MainWindowTest, TheSettingsPanelTogglesAndHides) {
  auto* panel = Find<QGroupBox>(u"setFrm"_s);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->title(), u"设置 [Seting]"_s);
  EXPECT_FALSE(panel->isVisible());
  MenuAction(u"softSetMenu"_s)->trigger();
  EXPECT_TRUE(panel->isVisible());
  auto* lv = Find<QTableView>(u"Lv"_s);
  EXPECT_EQ(panel->width(), lv->width() + 3);
  MenuAction(u"softSetMenu"_s)->trigger();
  EXPECT_FALSE(panel->isVisible());
  MenuAction(u"softSetMenu"_s)->trigger();
  QTest::mouseClick(Find<QPushButton>(u"Command2"_s), Qt::LeftButton);
  EXPECT_FALSE(panel->isVisible());
}

TEST_F(MainWindowTest, PanelWidgetsMirrorTheSettingsBothWays) {
  Settings& settings = window.State().Config();
  auto* threads = Find<QLineEdit>(u"Text3"_s);
  EXPECT_EQ(threads->text(), u"100"_s);
  EXPECT_EQ(threads->maxLength(), 3);
  EXPECT_EQ(Find<QLineEdit>(u"Text9"_s)->text(), u"Ip ifms"_s);
  EXPECT_TRUE(Find<QCheckBox>(u"Check1"_s)->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(u"Otn(0)"_s)->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(u"Gtn(1)"_s)->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(u"Gtn(4)"_s)->isChecked());

  // The user's edits reach the settings; "应 用" applies them.
  threads->selectAll();
  QTest::keyClicks(threads, u"50"_s);
  EXPECT_EQ(settings.Panel().Text3, u"50"_s);
  EXPECT_EQ(settings.Working().TestThreads, 100);
  QTest::mouseClick(Find<QPushButton>(u"Command3"_s), Qt::LeftButton);
  EXPECT_EQ(settings.Working().TestThreads, 50);

  // Changes made by the program show in the widgets.
  settings.SetText(&SettingsPanel::Text2, u"1234"_s);
  EXPECT_EQ(Find<QLineEdit>(u"Text2"_s)->text(), u"1234"_s);
  settings.SetCheck(&SettingsPanel::Check5, 1);
  EXPECT_TRUE(Find<QCheckBox>(u"Check5"_s)->isChecked());
  settings.SelectGtn(5);
  EXPECT_TRUE(Find<QRadioButton>(u"Gtn(5)"_s)->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(u"Gtn(4)"_s)->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(u"Gtn(1)"_s)->isChecked());

  // Options: Otn at once, Gtn on apply; a click on a selected option keeps it.
  Find<QRadioButton>(u"Otn(2)"_s)->click();
  EXPECT_TRUE(settings.Working().TestHttps);
  Find<QRadioButton>(u"Gtn(0)"_s)->click();
  Find<QRadioButton>(u"Gtn(0)"_s)->click();
  EXPECT_TRUE(Find<QRadioButton>(u"Gtn(0)"_s)->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(u"Gtn(1)"_s)->isChecked());
  EXPECT_EQ(settings.Panel().GtnHttp, 0);
}

TEST_F(MainWindowTest, WhatAFieldShowsIsWhatApplies) {
  // Ways a text gets into a field other than typing it.
  const std::vector<std::pair<const char*, std::function<void(QLineEdit*, const QString&)>>> ways{
      {"setText", [](QLineEdit* edit, const QString& text) { edit->setText(text); }},
      {"accessibility", [](QLineEdit* edit, const QString& text) {
         QAccessible::queryAccessibleInterface(edit)->editableTextInterface()->replaceText(
             0, edit->text().size(), text);
       }}};
  const Settings& settings = window.State().Config();
  auto* apply = Find<QPushButton>(u"Command3"_s);
  for (const auto& [how, put] : ways) {
    SCOPED_TRACE(how);
    put(Find<QLineEdit>(u"Text3"_s), u"0"_s);
    put(Find<QLineEdit>(u"Text2"_s), u"1000"_s);
    apply->click();
    EXPECT_EQ(window.Panel(7), u"线程设置范围应在 1-100 ,请重新设置!"_s);
    EXPECT_EQ(settings.Working().TestTimeoutMs, 5000);
    put(Find<QLineEdit>(u"Text3"_s), u"7"_s);
    apply->click();
    EXPECT_EQ(settings.Working().TestThreads, 7);
    EXPECT_EQ(settings.Working().TestTimeoutMs, 1000);
    put(Find<QLineEdit>(u"Text2"_s), u"5000"_s);
    apply->click();
  }
}

TEST_F(MainWindowTest, ALongerTextFromTheProgramShowsWholeAndTypingKeepsTheWidth) {
  Settings& settings = window.State().Config();
  auto* timeout = Find<QLineEdit>(u"Text2"_s);
  settings.SetText(&SettingsPanel::Text2, u"12345"_s);  // as the control API may write it
  EXPECT_EQ(timeout->text(), u"12345"_s);
  EXPECT_EQ(settings.Panel().Text2, u"12345"_s);
  QTest::keyClick(timeout, Qt::Key_End);
  QTest::keyClick(timeout, Qt::Key_Backspace);
  QTest::keyClicks(timeout, u"67"_s);
  EXPECT_EQ(timeout->text(), u"1234"_s);
  EXPECT_EQ(settings.Panel().Text2, u"1234"_s);
}

TEST_F(MainWindowTest, ListSourcesStartTickedAnonymityUntickedAndBothReachTheSettings) {
  const SettingsPanel& panel = window.State().Config().Panel();
  for (const auto& [name, field, ticked] :
       {std::tuple{u"Check9"_s, &SettingsPanel::Check9, true},
        std::tuple{u"Check10"_s, &SettingsPanel::Check10, false}}) {
    auto* box = Find<QCheckBox>(name);
    EXPECT_EQ(box->isChecked(), ticked) << name.toStdString();
    box->click();
    EXPECT_EQ(panel.*field, ticked ? 0 : 1) << name.toStdString();
  }
}

TEST_F(MainWindowTest, ClickingIntoACustomFieldClearsItsPlaceholder) {
  MenuAction(u"softSetMenu"_s)->trigger();
  auto* url = Find<QLineEdit>(u"Text14"_s);
  EXPECT_EQ(url->text(), u"输入自定义URL"_s);
  QTest::mouseClick(url, Qt::LeftButton);
  EXPECT_EQ(url->text(), u""_s);
  QTest::keyClicks(url, u"https://mine.test/"_s);
  QTest::mouseClick(url, Qt::LeftButton);
  EXPECT_EQ(url->text(), u"https://mine.test/"_s);
  EXPECT_EQ(window.State().Config().Panel().Text14, u"https://mine.test/"_s);
}

TEST_F(MainWindowTest, CustomUrlFieldsAreWideAndShowTheWholeUrlAsToolTip) {
  MenuAction(u"softSetMenu"_s)->trigger();
  QCoreApplication::processEvents();
  const QString url = u"https://www.example.com/a/rather/long/path/to/the/test/page.html"_s;
  for (const QString& name : {u"Text14"_s, u"Text16"_s}) {
    auto* edit = Find<QLineEdit>(name);
    EXPECT_GE(edit->width(), 150) << name.toStdString();  // was two of four option columns
    QTest::mouseClick(edit, Qt::LeftButton);              // clears the placeholder
    QTest::keyClicks(edit, url);
    EXPECT_EQ(edit->toolTip(), url);
  }
  // Nothing else of the panel was squeezed for them at the initial size.
  for (const QAbstractButton* button :
       Find<QGroupBox>(u"setFrm"_s)->findChildren<QAbstractButton*>())
    EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
}

TEST_F(MainWindowTest, TheRightButtonReleasedOverTheListOpensTheContextMenu) {
  auto* menu = Find<QMenu>(u"Zxmenu"_s);
  auto* lv = Find<QTableView>(u"Lv"_s);
  EXPECT_EQ(menu->title(), u"右键菜单"_s);
  EXPECT_EQ(Find<QAction>(u"Tmenu1"_s)->text(), u"验证选中"_s);
  EXPECT_EQ(Find<QAction>(u"Tmenu2"_s)->text(), u"验证所有"_s);
  QTest::mouseRelease(lv->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_FALSE(menu->isVisible());
  QTest::mouseRelease(lv->viewport(), Qt::RightButton, {}, QPoint(20, 20));
  EXPECT_TRUE(menu->isVisible());
  menu->hide();
}

TEST_F(MainWindowTest, TheListMenuHoldsEveryCommandInOrder) {
  QStringList names;
  for (const QAction* action : Find<QMenu>(u"Zxmenu"_s)->actions()) names << action->objectName();
  EXPECT_EQ(names,
            QStringList(
                {u"GetProxyMenu"_s,   u"TestProxyMenu"_s, u"SltM1"_s,          u"LoadProxyMenu"_s,
                 u"WirteProxtMenu"_s, u"SltM2"_s,         u"CopyInfo"_s,       u"GetgriMenu"_s,
                 u"FindInfo"_s,       u"Rdmenu"_s,        u"gotoAdrs"_s,       u"RestyzMenu"_s,
                 u"Sltx5"_s,          u"SltallMenu"_s,    u"SltallMenus"_s,    u"SltsucsMenu"_s,
                 u"SltsucMenu"_s,     u"Slt4"_s,          u"SetieProxyMenu"_s, u"StopIEproxyMenu"_s,
                 u"Slt3"_s,           u"ClsLv"_s}));
  for (const QString& name : names) {
    const bool separator =
        QStringList{u"SltM1"_s, u"SltM2"_s, u"Sltx5"_s, u"Slt4"_s, u"Slt3"_s}.contains(name);
    EXPECT_EQ(MenuAction(name)->isSeparator(), separator) << name.toStdString();
  }
  EXPECT_EQ(MenuAction(u"WirteTxt"_s)->text(), u"导出为文本"_s);
  EXPECT_EQ(MenuAction(u"WirteCsv"_s)->text(), u"导出为Csv"_s);
  EXPECT_EQ(MenuAction(u"SltallMenus"_s)->text(), u"反 选"_s);
}

TEST_F(MainWindowTest, ListCommandsRunFromTheMenu) {
  ProxyList& list = window.State().List();
  for (const QString& address : {u"1.1.1.1:80"_s, u"2.2.2.2:80"_s, u"1.1.1.1:80"_s})
    list.AppendRow({address});
  MenuAction(u"SltallMenu"_s)->trigger();
  EXPECT_EQ(list.SelectedRows().size(), 3u);
  MenuAction(u"CopyInfo"_s)->trigger();
  EXPECT_EQ(window.ClipboardText(), u"1.1.1.1:80\r\n2.2.2.2:80\r\n1.1.1.1:80\r\n"_s);
  MenuAction(u"Rdmenu"_s)->trigger();
  EXPECT_EQ(list.RowCount(), 2);
  EXPECT_EQ(window.Panel(2), u"2"_s);
  MenuAction(u"WirteTxt"_s)->trigger();
  EXPECT_EQ(window.Panel(7), u"文本数据保存完成..."_s);
  MenuAction(u"LoadProxyMenu"_s)->trigger();
  EXPECT_EQ(list.RowCount(), 4);
  MenuAction(u"WirteCsv"_s)->trigger();
  EXPECT_EQ(window.Panel(7), u"Csv数据保存成功 !"_s);
}

TEST_F(MainWindowTest, StopTestIsShownWhileARunIsActive) {
  ProxyList& list = window.State().List();
  for (int port = 1; port <= 3; ++port) list.AppendRow({u"127.0.0.1:%1"_s.arg(port)});
  MenuAction(u"Tmenu2"_s)->trigger();
  EXPECT_TRUE(MenuAction(u"StopTest"_s)->isVisible());
  MenuAction(u"StopTest"_s)->trigger();
  EXPECT_FALSE(MenuAction(u"StopTest"_s)->isVisible());
  EXPECT_EQ(window.Panel(7), u"停止验证..."_s);
  ASSERT_TRUE(test::WaitFor([&] { return application.Runs().ProbesInFlight() == 0; }));
}

// The texts of the buttons of the dialog that show opens, which is then closed.
QStringList DialogButtons(const std::function<void()>& show) {
  QStringList texts;
  QTimer::singleShot(0, [&texts] {
    QWidget* dialog = QApplication::activeModalWidget();
    for (const QPushButton* button : dialog->findChildren<QPushButton*>()) texts << button->text();
    dialog->close();
  });
  show();
  texts.sort();
  return texts;
}

TEST_F(MainWindowTest, MessageAndInputBoxesShowChineseButtons) {
  EXPECT_EQ(DialogButtons([&] {
              window.ShowMessage(u"?"_s, u"t"_s, MessageIcon::Question, MessageButtons::YesNo);
            }),
            QStringList({u"否(&N)"_s, u"是(&Y)"_s}));
  EXPECT_EQ(DialogButtons([&] { window.AskText(u"?"_s, u"t"_s); }),
            QStringList({u"取消"_s, u"确定"_s}));
}

TEST_F(MainWindowTest, TheProgressBarCountsAValidationRunAndHidesAfterIt) {
  test::ProxyFarm farm;
  const std::vector<std::string> slow = farm.Add({"slow [5.6.7.8]", 400, false}, 1);
  farm.Start();
  window.State().Config().SetText(&SettingsPanel::Text3, u"2"_s);
  window.State().ApplySettings();
  for (int i = 0; i < 8; ++i) window.State().List().AppendRow({QString::fromStdString(slow[0])});
  auto* bar = Find<QProgressBar>(u"RunProgress"_s);
  EXPECT_FALSE(bar->isVisible());

  MenuAction(u"Tmenu2"_s)->trigger();  // two workers of four 400 ms probes each
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 8);
  EXPECT_EQ(bar->value(), 0);
  ASSERT_TRUE(test::WaitFor([&] { return bar->value() > 0; }, 5000));
  EXPECT_LT(bar->value(), 8);
  EXPECT_EQ(window.Panel(7), u"需验证: 8 已验证:%1"_s.arg(bar->value()));
  EXPECT_EQ(bar->text(), u"%1/8"_s.arg(bar->value()));
  ASSERT_TRUE(test::WaitFor([&] { return !bar->isVisible(); }, 10000));
  EXPECT_EQ(bar->value(), 8);
}

TEST_F(MainWindowTest, RespectsTheMinimumSize) {
  const QSize minimum = window.minimumSize();
  window.resize(100, 100);
  QCoreApplication::processEvents();
  EXPECT_GE(window.width(), minimum.width());
  EXPECT_GE(window.height(), minimum.height());
  window.resize(minimum.width() + 200, minimum.height() + 100);
  QCoreApplication::processEvents();
  auto* lv = Find<QTableView>(u"Lv"_s);
  EXPECT_GT(lv->width(), minimum.width());
}

}  // namespace
}  // namespace ph
