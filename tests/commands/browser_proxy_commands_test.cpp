#include "commands/browser_proxy_commands.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QFile>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// A KDE session whose configuration lives in a temporary directory, so the commands write a
// kioslaverc there and nowhere else.
class BrowserProxyCommandTest : public ::testing::Test {
 protected:
  BrowserProxyCommandTest() : state(window, dir.Dir()) {
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    qputenv("XDG_CONFIG_HOME", config.Path().toLocal8Bit());
    for (const QString& address :
         {u"1.2.3.4:8080"_s, u"socks5://5.6.7.8:1080"_s, u"Nothing:Nothing"_s})
      state.List().AppendRow({address});
  }
  ~BrowserProxyCommandTest() override {
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("XDG_CONFIG_HOME");
  }
  QString Kioslaverc() const { return QString::fromUtf8(config.Read(u"kioslaverc"_s)); }

  test::TempProgramDir dir;
  test::TempProgramDir config;
  test::FakeWindow window;
  AppState state;
  test::StatusLog log{state.StatusBar()};
};

TEST_F(BrowserProxyCommandTest, TheChosenRowBecomesTheProxyAndStopKeepsItsAddress) {
  struct Case {
    std::vector<int> selected;
    int current;
    QString expected_line;  // of kioslaverc
  };
  const Case cases[] = {
      {{1}, 0, u"httpProxy=http://1.2.3.4 8080"_s},
      {{1, 2}, 2, u"socksProxy=socks://5.6.7.8 1080"_s},  // the focused one of several
      {{2, 1}, 3, u"httpProxy=http://1.2.3.4 8080"_s},    // focus elsewhere: the first selected
      {{}, 2, u"socksProxy=socks://5.6.7.8 1080"_s},      // none selected: the focused row
  };
  for (const Case& c : cases) {
    state.List().SetAllSelected(false);
    for (const int row : c.selected) state.List().SetSelected(row, true);
    window.current_row = c.current;
    UseRowAsBrowserProxy(state);
    EXPECT_EQ(state.StatusBar().Text(), u"IE代理设置成功,请重启IE或者IE内核浏览器!"_s);
    EXPECT_TRUE(Kioslaverc().contains(c.expected_line)) << Kioslaverc().toStdString();
    EXPECT_TRUE(Kioslaverc().contains(u"ProxyType=1"_s));
  }
  StopBrowserProxy(state);
  EXPECT_EQ(state.StatusBar().Text(), u"IE代理已经停止.."_s);
  EXPECT_TRUE(Kioslaverc().contains(u"ProxyType=0"_s));
  EXPECT_TRUE(Kioslaverc().contains(u"socksProxy=socks://5.6.7.8 1080"_s));
}

TEST_F(BrowserProxyCommandTest, NothingToTakeOrABadAddressChangesNothing) {
  UseRowAsBrowserProxy(state);  // nothing selected, no focused row
  EXPECT_TRUE(log.history.isEmpty());
  state.List().SetSelected(3, true);
  UseRowAsBrowserProxy(state);
  EXPECT_TRUE(state.StatusBar().Text().startsWith(u"IE代理设置失败: "_s));
  EXPECT_FALSE(QFile::exists(config.File(u"kioslaverc"_s)));
  state.List().Clear();
  log.history.clear();
  UseRowAsBrowserProxy(state);
  EXPECT_TRUE(log.history.isEmpty());
}

TEST_F(BrowserProxyCommandTest, ASettingsStoreThatKeepsNothingIsAFailureNotASuccess) {
  // GNOME's settings through GLib's memory store, which forgets everything at exit: never
  // the settings of the desktop this test may run in.
  qputenv("XDG_CURRENT_DESKTOP", "GNOME");
  qputenv("GSETTINGS_BACKEND", "memory");
  StopBrowserProxy(state);
  qunsetenv("GSETTINGS_BACKEND");
  EXPECT_TRUE(state.StatusBar().Text().startsWith(u"停止IE代理失败: "_s))
      << state.StatusBar().Text().toStdString();
}

}  // namespace
}  // namespace ph
