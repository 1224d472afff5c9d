#include "ui/main_window.h"

#include "app/application.h"
#include "core/app_state.h"
#include "core/gbk.h"
#include "core/proxy_list.h"
#include "support/http_fixtures.h"
#include "support/qqwry_builder.h"
#include "support/sandbox.h"
#include "ui/started_window.h"
#include "ui/status_panels.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::Inline;
using test::Ip;

// A window whose program directory sends the list sites and the IP-information services to
// a loopback server.
class WindowCommandTest : public ::testing::Test {
 protected:
  WindowCommandTest() : application(Prepared()), window(test::StartWindow(application)) {}

  ProgramDir Prepared() {
    const QString base = u"http://127.0.0.1:%1"_s.arg(server.Port());
    QString ini;
    for (const char* name : {"info_126", "info_ip138_page", "info_taobao", "xicidaili", "ip66"})
      ini += QString::fromLatin1(name) + u'=' + base + u'\n';
    dir.Write(u"endpoints.ini"_s, ini.toUtf8());
    return dir.Dir();
  }

  test::PageServer server;
  test::TempProgramDir dir;
  Application application;
  MainWindow& window;
};

TEST_F(WindowCommandTest, GotoAdrsInTheListMenuFillsTheRegions) {
  test::QQWryBuilder db;
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Inline(u"北京市"_s, u"联通"_s));
  db.AddFiller(Ip(2, 0, 0, 0), 2);
  test::WriteDatabaseFile(dir.File(u"qqwry.dat"_s), db.Bytes());
  ProxyList& list = window.State().List();
  list.AppendRow({u"1.0.0.9:8080"_s});

  auto* menu = window.findChild<QMenu*>(u"Zxmenu"_s);
  ASSERT_NE(menu, nullptr);
  QAction* check = menu->findChild<QAction*>(u"gotoAdrs"_s);
  ASSERT_NE(check, nullptr);
  EXPECT_TRUE(menu->actions().contains(check));
  EXPECT_EQ(check->text(), u"检查地址"_s);
  check->trigger();
  ASSERT_TRUE(
      test::WaitFor([&] { return window.Panel(StatusPanels::kMessage) == u"数据验证完成..."_s; }));
  EXPECT_EQ(list.CellText(1, kRegion), u"北京市 联通"_s);
}

TEST_F(WindowCommandTest, PastedRowsGetTheirRegionFromTheDatabase) {
  test::QQWryBuilder db;
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Inline(u"北京市"_s, u"联通"_s));
  db.AddFiller(Ip(2, 0, 0, 0), 2);
  test::WriteDatabaseFile(dir.File(u"qqwry.dat"_s), db.Bytes());
  window.SetClipboardText(u"1.0.0.9:8080\t高匿\t\r\n1.0.0.10:3128\r\n"_s);
  window.findChild<QAction*>(u"GetgriMenu"_s)->trigger();
  ProxyList& list = window.State().List();
  ASSERT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.CellText(1, kAddress), u"1.0.0.9:8080"_s);
  EXPECT_EQ(list.CellText(2, kRegion), u"北京市 联通"_s);
  EXPECT_EQ(window.Panel(StatusPanels::kRows), u"2"_s);
  EXPECT_EQ(server.Requests(), 0);
}

TEST_F(WindowCommandTest, Command5ShowsTheExternalAddressInTheSettingsPanel) {
  server.Set("/ic.asp",
             {200, ToGbk(u"[61.140.1.2] 来自：广东省</center>"_s).toStdString(), "text/html", 0});
  server.Set("/service/getIpInfo.php?ip=61.140.1.2",
             {200, R"({"region":"广东","city":"广州","isp":"电信"})", "application/json", 0});
  auto* button = window.findChild<QPushButton*>(u"Command5"_s);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), u"本机IP"_s);
  button->click();
  const QLineEdit* shown = window.findChild<QLineEdit*>(u"Text9"_s);
  EXPECT_TRUE(test::WaitFor([&] { return shown->text() == u"61.140.1.2 广东 广州 电信"_s; }));
}

TEST_F(WindowCommandTest, StopGetIsOfferedWhileAHarvestRuns) {
  window.State().Config().SetText(&SettingsPanel::Text7, u"0"_s);
  server.Set("/nn/1", {200, "<tr class=\"odd\"><td>1.0.0.9</td><td>80</td>", "text/html", 300});
  auto* stop_get = window.findChild<QAction*>(u"StopGet"_s);
  EXPECT_FALSE(stop_get->isVisible());
  window.findChild<QAction*>(u"GetProxyMenu"_s)->trigger();
  EXPECT_TRUE(stop_get->isVisible());
  stop_get->trigger();
  EXPECT_FALSE(stop_get->isVisible());
  EXPECT_EQ(window.Panel(StatusPanels::kMessage), u"停止采集..."_s);
  ASSERT_TRUE(test::WaitFor([&] { return application.Harvest().Run() == nullptr; }, 5000));
  EXPECT_EQ(window.State().List().RowCount(), 0);  // the page came after the stop
}

TEST_F(WindowCommandTest, Command4StartsAndStopsTheApi) {
  auto* button = window.findChild<QPushButton*>(u"Command4"_s);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), u"启动接口"_s);
  const quint16 port = test::ClosedPort();
  window.State().Config().SetText(&SettingsPanel::Text8, QString::number(port));
  window.State().List().AppendRow({u"1.2.3.4:80"_s});
  button->click();
  EXPECT_EQ(button->text(), u"停 止"_s);
  QProcess curl;
  curl.start(u"curl"_s, {u"-s"_s, u"http://127.0.0.1:%1/api.zx?UseKey&getcount&"_s.arg(port)});
  ASSERT_TRUE(test::WaitFor([&] { return curl.state() == QProcess::NotRunning; }, 10000));
  EXPECT_EQ(curl.readAllStandardOutput(), "1|1");
  button->click();
  EXPECT_EQ(button->text(), u"启动接口"_s);

  // A port in use: the message box, and the caption stays.
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::AnyIPv4));
  window.State().Config().SetText(&SettingsPanel::Text8, QString::number(taken.serverPort()));
  QString title;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      title = box->windowTitle();
      box->accept();
    }
  });
  button->click();
  EXPECT_TRUE(title.startsWith(u"错误代码: "_s)) << title.toStdString();
  EXPECT_EQ(button->text(), u"启动接口"_s);
}

TEST_F(WindowCommandTest, TheProgressBarCountsTheHarvestsPagesUntilItEnds) {
  window.State().Config().SetText(&SettingsPanel::Text7, u"0"_s);
  server.Set("/nn/1", {200, "<tr class=\"odd\"><td>1.0.0.9</td><td>80</td>", "text/html", 300});
  server.Set("/nn/2", {200, "", "text/html", 1000});
  auto* bar = window.findChild<QProgressBar*>(u"RunProgress"_s);
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());
  window.findChild<QAction*>(u"GetProxyMenu"_s)->trigger();
  ASSERT_TRUE(test::WaitFor([&] { return bar->isVisible(); }, 2000));
  EXPECT_EQ(bar->maximum(), 5);  // five pages of the one ticked category
  EXPECT_EQ(bar->value(), 0);
  ASSERT_TRUE(test::WaitFor([&] { return bar->value() == 1; }, 5000));  // while page 2 loads
  window.findChild<QAction*>(u"StopGet"_s)->trigger();
  ASSERT_TRUE(test::WaitFor([&] { return application.Harvest().Run() == nullptr; }, 5000));
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(WindowCommandTest, TheMenuBarAndTheAboutBox) {
  QStringList menus;
  for (const QAction* action : window.menuBar()->actions()) menus << action->text();
  EXPECT_EQ(menus, QStringList({u"程序菜单"_s, u"右键菜单"_s, u"程序设置"_s, u"消息记录"_s,
                                u"停止采集"_s, u"停止验证"_s}));
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    shown = box->text();
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    box->accept();
  });
  window.findChild<QAction*>(u"AboutMe"_s)->trigger();
  EXPECT_EQ(shown, MainWindow::CreditLine() +
                       u"\n\n程序仅供学习参考,由此程序引发的任何后果均由当事使用者承担!"_s);
}

}  // namespace
}  // namespace ph
