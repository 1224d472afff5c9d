#include "app/application.h"

#include "store/list_store.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/list_rows.h"
#include "support/raw_client.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QTcpServer>

#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// A store whose saves fail while told to.
class BrokenStore : public ListStore {
 public:
  std::optional<QString> Load(ProxyList&) override { return std::nullopt; }
  std::optional<QString> Save(ProxyList&) override {
    if (failing) return u"磁盘已满"_s;
    return std::nullopt;
  }
  bool failing = true;
};

// The program with a fake front end; the status listener's port is a free one.
class StatusPortTest : public ::testing::Test {
 protected:
  StatusPortTest() : application(dir.Dir()), log(application.State().StatusBar()) {
    application.SetFrontEnd(std::make_unique<test::FakeWindow>());
    application.Start();
    port = test::ClosedPort();
    Config().SetText(&SettingsPanel::Text25, QString::number(port));
  }

  Settings& Config() { return application.State().Config(); }
  // The status line of the answer to a GET of path, with the password when one is given;
  // the body into body.
  QByteArray Ask(const QByteArray& path, const QByteArray& password = {}, QByteArray* body = {}) {
    test::RawClient client(port);
    if (!client.Connected()) return {};
    QByteArray request = "GET " + path + " HTTP/1.1\r\nConnection: close\r\n";
    if (!password.isNull())
      request += "Authorization: Basic " + ("u:" + password).toBase64() + "\r\n";
    client.Send(request + "\r\n");
    const QByteArray got = client.Received(5000);
    if (body != nullptr) *body = got.mid(got.indexOf("\r\n\r\n") + 4);
    return got.left(got.indexOf("\r\n"));
  }

  test::TempProgramDir dir;
  Application application;
  test::StatusLog log;
  quint16 port = 0;
};

TEST_F(StatusPortTest, TheBoxOpensTheListenerApplyMovesItAndUntickingClosesIt) {
  EXPECT_FALSE(application.StatusService().Listener().Listening());  // off unless asked
  Config().SetCheck(&SettingsPanel::Check13, 1);
  EXPECT_EQ(log.history.last(), u"状态页已启动: http://127.0.0.1:%1/"_s.arg(port));
  EXPECT_EQ(Ask("/healthz"), "HTTP/1.1 200 OK");

  const quint16 moved = test::ClosedPort();
  Config().SetText(&SettingsPanel::Text25, QString::number(moved));
  EXPECT_EQ(application.StatusService().Listener().Port(), port);  // typing alone changes nothing
  application.Run(CommandId::kApplySettings);
  port = moved;
  EXPECT_EQ(Ask("/healthz"), "HTTP/1.1 200 OK");

  Config().SetCheck(&SettingsPanel::Check13, 0);
  EXPECT_FALSE(application.StatusService().Listener().Listening());
  EXPECT_EQ(log.history.last(), u"状态页已停止"_s);
  EXPECT_TRUE(Ask("/healthz").isEmpty());
}

TEST_F(StatusPortTest, AwayFromLoopbackItNeverOpensWithoutAPassword) {
  Config().SetText(&SettingsPanel::Text26, u"0.0.0.0"_s);
  Config().SetCheck(&SettingsPanel::Check13, 1);
  // No password of its own: the control API's.
  EXPECT_EQ(Ask("/metrics"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(Ask("/metrics", "UseKey"), "HTTP/1.1 200 OK");
  Config().SetText(&SettingsPanel::Text27, u"自己的"_s);
  application.Run(CommandId::kApplySettings);
  EXPECT_EQ(Ask("/metrics", "UseKey"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(Ask("/metrics", "自己的"), "HTTP/1.1 200 OK");
  // On loopback without one of its own, none.
  Config().SetText(&SettingsPanel::Text26, u"127.0.0.1"_s);
  Config().SetText(&SettingsPanel::Text27, QString());
  application.Run(CommandId::kApplySettings);
  EXPECT_EQ(Ask("/metrics"), "HTTP/1.1 200 OK");
}

TEST_F(StatusPortTest, APortItCannotOpenIsAProblemAndLeavesItClosed) {
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
  Config().SetText(&SettingsPanel::Text25, QString::number(taken.serverPort()));
  Config().SetCheck(&SettingsPanel::Check13, 1);
  EXPECT_FALSE(application.StatusService().Listener().Listening());
  ASSERT_TRUE(application.StatusService().Failure().has_value());
  EXPECT_TRUE(log.history.last().startsWith(u"状态页启动失败: "_s));
  EXPECT_EQ(log.kinds.back(), TextKind::kProblem);
}

TEST_F(StatusPortTest, HealthFailsWhileTheListCannotBeSavedAndWhileTheProgramEnds) {
  Config().SetCheck(&SettingsPanel::Check13, 1);
  BrokenStore store;
  application.KeepListIn(store, [](const QString&) {});
  QByteArray body;
  EXPECT_EQ(Ask("/healthz", {}, &body), "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(body, "磁盘已满\n");
  store.failing = false;
  application.KeepListIn(store, [](const QString&) {});  // saves at once, and succeeds
  EXPECT_EQ(Ask("/healthz"), "HTTP/1.1 200 OK");
  application.RequestQuit(Application::kMenuQuit);
  // Ended at once with nothing under way; the listener answers until the core goes.
  EXPECT_EQ(Ask("/healthz", {}, &body), "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(body, "正在退出\n");
}

}  // namespace
}  // namespace ph
