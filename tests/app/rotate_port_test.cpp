#include "app/application.h"

#include "core/literals.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>

#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The program with a fake front end and a list of one proxy that the last run found working.
class RotatePortTest : public ::testing::Test {
 protected:
  RotatePortTest() : application(dir.Dir()), log(application.State().StatusBar()) {
    application.SetFrontEnd(std::make_unique<test::FakeWindow>());
    application.Start();
    origin.Set("/page", {200, "through the pool", "text/plain", 0});
    ProxyList& list = application.State().List();
    list.AppendRow(test::ValidatedRow(QString::fromStdString(proxy.Address())));
    port = test::ClosedPort();
    Config().SetText(&SettingsPanel::Text21, QString::number(port));
  }

  Settings& Config() { return application.State().Config(); }
  // What curl gets through the rotating port, once the pool holds the row.
  QByteArray Fetch() {
    EXPECT_TRUE(
        test::WaitFor([&] { return application.Rotate().Proxy().CurrentPool()->Size() == 1; }));
    QProcess curl;
    curl.start(u"curl"_s, {u"-s"_s, u"-m"_s, u"10"_s, u"-x"_s, u"http://127.0.0.1:%1"_s.arg(port),
                           QString::fromStdString(origin.Url("/page"))});
    test::WaitFor([&] { return curl.state() == QProcess::NotRunning; }, 15000);
    return curl.readAllStandardOutput();
  }

  test::TempProgramDir dir;
  Application application;
  test::StatusLog log;
  test::PageServer origin;
  test::FakeProxy proxy;
  quint16 port = 0;
};

TEST_F(RotatePortTest, TheBoxOpensThePortOverTheValidatedListAndClosesIt) {
  Config().SetCheck(&SettingsPanel::Check12, 1);
  ASSERT_TRUE(application.Rotate().Proxy().Running());
  EXPECT_EQ(log.history.last(), u"轮换代理已启动: 127.0.0.1:%1"_s.arg(port));
  EXPECT_EQ(Fetch(), "through the pool");
  EXPECT_EQ(proxy.Gets(), 1);
  Config().SetCheck(&SettingsPanel::Check12, 0);
  EXPECT_FALSE(application.Rotate().Proxy().Running());
  EXPECT_EQ(log.history.last(), u"轮换代理已停止"_s);
}

TEST_F(RotatePortTest, ApplyMovesARunningPortAndATakenPortIsAProblem) {
  Config().SetCheck(&SettingsPanel::Check12, 1);
  const quint16 moved = test::ClosedPort();
  Config().SetText(&SettingsPanel::Text21, QString::number(moved));
  EXPECT_EQ(application.Rotate().Proxy().Port(), port);  // typing alone changes nothing
  application.Run(CommandId::kApplySettings);
  EXPECT_EQ(application.Rotate().Proxy().Port(), moved);
  port = moved;
  EXPECT_EQ(Fetch(), "through the pool");

  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
  Config().SetText(&SettingsPanel::Text21, QString::number(taken.serverPort()));
  application.Run(CommandId::kApplySettings);
  EXPECT_FALSE(application.Rotate().Proxy().Running());
  EXPECT_TRUE(
      log.history.last().startsWith(u"轮换代理启动失败,端口: %1"_s.arg(taken.serverPort())));
  EXPECT_EQ(log.kinds.back(), TextKind::kProblem);
}

TEST_F(RotatePortTest, APoolMinimumOfItsOwnOrTheFiltersDecidesWhichRowsServe) {
  Config().SetCheck(&SettingsPanel::Check12, 1);
  // The row's ratio is 75%: a minimum above it leaves the pool empty.
  Config().SetText(&SettingsPanel::Text24, u"80"_s);
  ASSERT_TRUE(
      test::WaitFor([&] { return application.Rotate().Proxy().CurrentPool()->Size() == 0; }));
  Config().SetText(&SettingsPanel::Text24, u""_s);  // the filter's 50% again
  ASSERT_TRUE(
      test::WaitFor([&] { return application.Rotate().Proxy().CurrentPool()->Size() == 1; }));
  EXPECT_EQ(Fetch(), "through the pool");
}

}  // namespace
}  // namespace ph
