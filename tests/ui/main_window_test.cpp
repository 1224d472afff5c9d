#include "ui/main_window.h"

#include "app/application.h"
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/sandbox.h"
#include "ui/started_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

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

TEST_F(MainWindowTest, TheListShowsCaptionsWidthsAndGreenResults) {
  auto* lv = Find<QTableView>(u"Lv"_s);
  ASSERT_NE(lv, nullptr);
  EXPECT_EQ(lv->model()->headerData(4, Qt::Horizontal).toString(), u"测试结果"_s);
  EXPECT_NEAR(lv->columnWidth(1), 3528 / 15, 2);
  EXPECT_NEAR(lv->columnWidth(13), 3528 / 15, 2);
  ProxyList& list = window.State().List();
  list.AppendRow({u"1.2.3.4:80"_s});
  list.SetResultColour(1, QColor(0, 255, 0));
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

TEST_F(MainWindowTest, ListSourcesAndAnonymityBoxesStartUntickedAndReachTheSettings) {
  const SettingsPanel& panel = window.State().Config().Panel();
  for (const auto& [name, field] : {std::pair{u"Check9"_s, &SettingsPanel::Check9},
                                    std::pair{u"Check10"_s, &SettingsPanel::Check10}}) {
    auto* box = Find<QCheckBox>(name);
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_EQ(panel.*field, 1) << name.toStdString();
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
  ASSERT_TRUE(test::WaitFor([&] { return application.Runs().Shared()->active_workers == 0; }));
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
