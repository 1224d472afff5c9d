#include "api/api_server.h"

#include "app/application.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/list_rows.h"
#include "support/raw_client.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QByteArray Answer(const QByteArray& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: " +
         QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The whole program with a fake front end; its web endpoints point at a loopback server and
// the API listens on a free loopback port.
class ApiServerTest : public ::testing::Test {
 protected:
  ApiServerTest() : application(Prepared()) {
    auto fake = std::make_unique<test::FakeWindow>();
    window = fake.get();
    application.SetFrontEnd(std::move(fake));
    application.Start();
    port = test::ClosedPort();
    Config().SetText(&SettingsPanel::Text8, QString::number(port));
    application.Run(CommandId::kToggleApi);
    application.SeedRandom(1);
  }
  ~ApiServerTest() override { application.Runs().ClearTestRunning(); }

  ProgramDir Prepared() {
    server.Set("/ic.asp", {200, "<center>[61.1.2.3] 来自：某地</center>", "text/html", 0});
    dir.Write(u"endpoints.ini"_s,
              u"info_ip138_page=http://127.0.0.1:%1\n"_s.arg(server.Port()).toUtf8());
    return dir.Dir();
  }
  ApiServer& api() { return application.Api(); }
  Settings& Config() { return application.State().Config(); }
  ProxyList& List() { return application.State().List(); }

  // One request on a fresh connection; the answer until the server closes.
  QByteArray Ask(const QByteArray& request, bool* closed = nullptr, int ms = 3000) {
    test::RawClient client(port);
    EXPECT_TRUE(client.Connected());
    client.Send(request);
    return client.Received(ms, closed);
  }
  QByteArray Get(const QByteArray& query) {
    return Ask("GET /api.zx?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  }
  QByteArray Post(const QByteArray& body) {
    return Ask("POST /api.zx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body);
  }
  // Runs a client program to its end with the event loop going; its standard output.
  QByteArray Run(const QString& program, const QStringList& arguments,
                 QByteArray* errors = nullptr) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(test::WaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000))
        << program.toStdString();
    if (errors != nullptr) *errors = process.readAllStandardError();
    return process.readAllStandardOutput();
  }
  QString Url(const QString& query) const {
    return u"http://127.0.0.1:%1/api.zx?%2"_s.arg(port).arg(query);
  }

  test::PageServer server;
  test::TempProgramDir dir;
  Application application;
  test::FakeWindow* window = nullptr;
  quint16 port = 0;
};

TEST_F(ApiServerTest, RealClientsGetTheExactAnswer) {
  ASSERT_TRUE(api().Listening());
  for (const QString& address : {u"1.1.1.1:80"_s, u"2.2.2.2:81"_s, u"3.3.3.3:82"_s})
    List().AppendRow({address});
  const QByteArray exact = Answer("1|3");
  EXPECT_EQ(Run(u"curl"_s, {u"-s"_s, u"-i"_s, Url(u"UseKey&getcount&"_s)}), exact);
  EXPECT_EQ(Run(u"curl"_s, {u"-s"_s, u"-i"_s, u"--data"_s, u"UseKey&getcount&"_s,
                            u"http://127.0.0.1:%1/api.zx"_s.arg(port)}),
            exact);
  QByteArray headers;
  EXPECT_EQ(
      Run(u"wget"_s, {u"-q"_s, u"-S"_s, u"-O"_s, u"-"_s, Url(u"UseKey&getcount&"_s)}, &headers),
      "1|3");
  EXPECT_TRUE(headers.contains("HTTP/1.1 200 OK")) << headers.toStdString();
  EXPECT_TRUE(headers.contains("Content-Type: text/html; charset=gbk"));
  EXPECT_TRUE(headers.contains("Content-Length: 3"));

  // Python's clients: requests sends a POST body in a write of its own.
  const QString script =
      uR"(
import http.client, sys, urllib.request, requests
port = int(sys.argv[1])
def show(status, reason, kind, length, body):
    print(status, reason, kind, length, body.decode())
c = http.client.HTTPConnection("127.0.0.1", port)
c.request("GET", "/api.zx?UseKey&getcount&")
r = c.getresponse(); show(r.status, r.reason, r.getheader("Content-Type"), r.getheader("Content-Length"), r.read())
c = http.client.HTTPConnection("127.0.0.1", port)
c.request("POST", "/api.zx", body="UseKey&getcount&")
r = c.getresponse(); show(r.status, r.reason, r.getheader("Content-Type"), r.getheader("Content-Length"), r.read())
r = urllib.request.urlopen("http://127.0.0.1:%d/api.zx?UseKey&getcount&" % port)
show(r.status, r.reason, r.headers["Content-Type"], r.headers["Content-Length"], r.read())
for r in (requests.get("http://127.0.0.1:%d/api.zx?UseKey&getcount&" % port),
          requests.post("http://127.0.0.1:%d/api.zx" % port, data="UseKey&getcount&")):
    show(r.status_code, r.reason, r.headers["Content-Type"], r.headers["Content-Length"], r.content)
)"_s;
  const QByteArray line = "200 OK text/html; charset=gbk 3 1|3\n";
  EXPECT_EQ(Run(u"/usr/bin/python3"_s, {u"-c"_s, script, QString::number(port)}), line.repeated(5));
}

TEST_F(ApiServerTest, PasswordsCommandsAndWhatIsNotAnswered) {
  EXPECT_EQ(Get("usekey&getcount&"), Answer("1|0"));
  EXPECT_EQ(Get("USEKEY&getcount&"), Answer("1|0"));
  EXPECT_EQ(Post("UseKey&getcount&"), Answer("1|0"));
  bool closed = false;
  // An unknown command (here the protocol text rides on it): closed without data.
  EXPECT_EQ(Get("UseKey&getcount"), QByteArray());
  // A wrong password, no "&", neither GET nor POST: no answer, the connection stays open.
  for (const QByteArray& request : {QByteArray("GET /api.zx?Wrong&getcount& HTTP/1.1\r\n\r\n"),
                                    QByteArray("GET /api.zx?UseKey HTTP/1.1\r\n\r\n"),
                                    QByteArray("PUT /api.zx?UseKey&getcount& HTTP/1.1\r\n\r\n")}) {
    EXPECT_EQ(Ask(request, &closed, 300), QByteArray());
    EXPECT_FALSE(closed) << request.toStdString();
  }
  // A missing line end after the query is a failure: closed at once.
  EXPECT_EQ(
      Ask("POST / HTTP/1.1\r\nContent-Length: 24\r\n\r\nGET /api.zx?UseKey&getcount&", &closed),
      "");
}

TEST_F(ApiServerTest, RequestsAreCountedByTheCommandTheyAskFor) {
  const auto ignored = [this](const QByteArray& query) {
    Ask("GET /api.zx?" + query + " HTTP/1.1\r\n\r\n", nullptr, 300);
  };
  Get("UseKey&getcount&");
  Get("UseKey&getcount&");
  Get("UseKey&getip&0&0&0&0");
  Get("UseKey&nosuchcommand&");
  ignored("UseKey&getcount&1&2&");  // the wrong number of elements, still a getcount
  ignored("WrongKey&getcount&");    // no password, no command
  using Count = std::pair<QLatin1StringView, int64_t>;
  EXPECT_EQ(api().Requests().Counts(),
            (std::vector<Count>{{"getcount"_L1, 3}, {"getip"_L1, 1}, {"unknown"_L1, 1}}));
}

TEST_F(ApiServerTest, EveryCommandAnswersAndChangesThePanel) {
  const WorkingValues& working = Config().Working();
  const SettingsPanel& panel = Config().Panel();
  EXPECT_EQ(Get("UseKey&setrefpage&8"), Answer("1|success"));
  EXPECT_EQ(panel.Text1, u"8"_s);
  EXPECT_EQ(working.HarvestPages, 8);
  EXPECT_EQ(Get("UseKey&settestouttime&3000"), Answer("1|success"));
  EXPECT_EQ(working.TestTimeoutMs, 3000);
  EXPECT_EQ(Get("UseKey&setrefreshtime&60"), Answer("1|success"));
  EXPECT_EQ(working.UpdateIntervalSec, 60);
  EXPECT_EQ(Get("UseKey&settesttimes&2.5"), Answer("1|success"));
  EXPECT_EQ(panel.Text13, u"2.5"_s);
  EXPECT_EQ(working.RetestIntervalSec, 2);
  EXPECT_EQ(Get("UseKey&settestthread&50"), Answer("1|success"));
  EXPECT_EQ(working.TestThreads, 50);
  // A refused thread count is reported as a refusal; the old count stays.
  EXPECT_EQ(Get("UseKey&settestthread&150"), Answer("0|error"));
  EXPECT_EQ(application.State().StatusBar().Text(), u"线程设置范围应在 1-100 ,请重新设置!"_s);
  EXPECT_EQ(working.TestThreads, 50);
  EXPECT_EQ(Get("UseKey&settestthread&150&"), QByteArray());       // one element too many: ignored
  EXPECT_EQ(Get("UseKey&settestthread&20"), Answer("1|success"));  // the panel applies again

  EXPECT_EQ(Get("UseKey&settype&0&1&1&0&0"), Answer("1|success"));
  EXPECT_EQ(
      std::vector<int>({panel.Check1, panel.Check6, panel.Check2, panel.Check7, panel.Check3}),
      std::vector<int>({0, 1, 1, 0, 0}));
  EXPECT_EQ(Get("UseKey&settype&1&1&7&0&0"), QByteArray());  // 7 is no box value
  EXPECT_EQ(panel.Check1, 1);                                // written before the failing one
  EXPECT_EQ(panel.Check2, 1);

  EXPECT_EQ(Get("UseKey&setsucratio&1&4"), Answer("0|error"));
  EXPECT_EQ(Get("UseKey&setsucratio&1&4&60"), Answer("1|success"));
  EXPECT_EQ(panel.Check8, 1);
  EXPECT_EQ(panel.Text18, u"4"_s);
  EXPECT_EQ(panel.Text19, u"60"_s);
  EXPECT_EQ(Get("UseKey&setsucratio&0"), Answer("1|success"));
  EXPECT_EQ(panel.Check8, 0);

  EXPECT_EQ(Get("UseKey&gettesturlinfo&"), Answer("Type=ip138<br/>\r\n<br/>\r\nType=baidu<br/>"));
  EXPECT_EQ(Get("UseKey&sethttps&zdy&https://Mine.test/a b&Hello&"), Answer("1|success"));
  EXPECT_EQ(panel.GtnHttps, 6);
  EXPECT_EQ(working.HttpsTestUrl, u"https://mine.test/a b"_s);  // arguments arrive lower-cased
  EXPECT_EQ(working.HttpsMatchText, u"hello"_s);
  EXPECT_EQ(Get("UseKey&sethttp&sina&"), Answer("1|success"));
  EXPECT_EQ(panel.GtnHttp, 0);
  EXPECT_EQ(Get("UseKey&sethttp&nosuchtarget&"), Answer("0|error"));
  EXPECT_EQ(Get("UseKey&sethttp&sina"), Answer("0|error"));  // the protocol text rides on it
  EXPECT_EQ(panel.GtnHttp, 0);
  EXPECT_EQ(Get("UseKey&gettesturlinfo&"),
            Answer("Type=sina<br/>\r\n<br/>\r\nType=zdy&Testurl=https%3A%2F%2Fmine.test%2Fa+b"
                   "&teststr=hello<br/>"));
  EXPECT_EQ(Get("UseKey&sethttp&zdy&x"), QByteArray());  // "zdy" without its match text

  EXPECT_EQ(Get("UseKey&startget&"), Answer("1|success"));
  EXPECT_EQ(panel.Check5, 1);
  EXPECT_TRUE(application.Harvest().Timer2().isActive());
  EXPECT_EQ(application.Harvest().Run(), nullptr);  // no harvest at once
  EXPECT_EQ(Get("UseKey&stopget&"), Answer("1|success"));
  EXPECT_EQ(panel.Check5, 0);
  EXPECT_EQ(Get("UseKey&starttest&"), Answer("1|success"));
  EXPECT_EQ(panel.Check4, 1);
  EXPECT_EQ(Get("UseKey&stoptest&"), Answer("1|success"));
  EXPECT_FALSE(application.Retest().Timer1().isActive());

  List().AppendRow({u"1.1.1.1:80"_s});
  test::SetCell(List(), 1, kTestCount, u"5"_s);
  List().SetSelected(1, true);
  EXPECT_EQ(Post("UseKey&resethistory"), Answer("1|success"));
  EXPECT_EQ(List().CellText(1, kTestCount), u"0"_s);
}

TEST_F(ApiServerTest, GetIpInItsThreeModes) {
  const struct {
    QString address, region, ratio;
  } rows[] = {{u"1.1.1.1:80"_s, u"北京"_s, u"100%"_s},
              {u"2.2.2.2:81"_s, u"上海"_s, u"50%"_s},
              {u"3.3.3.3:82"_s, u"广州"_s, u""_s}};
  for (const auto& r : rows) {
    const int row = List().AppendRow({r.address, r.region});
    test::SetCell(List(), row, kSuccessRatio, r.ratio);
  }
  EXPECT_EQ(Get("UseKey&getip&2&0&99&0"), Answer("2.2.2.2:81<br/>"));
  EXPECT_EQ(Get("UseKey&getip&1&0&0&1"), Answer("1.1.1.1:80|%B1%B1%BE%A9<br/>"));
  EXPECT_EQ(Get("UseKey&getip&0&0&60&0"), Answer("1.1.1.1:80<br/>"));
  const QByteArray drawn = Get("UseKey&getip&0&2&0&0");
  EXPECT_TRUE(drawn.startsWith(Answer("").left(40))) << drawn.toStdString();
  EXPECT_LE(drawn.count("<br/>"), 2);
  List().Clear();
  EXPECT_EQ(Get("UseKey&getip&0&0&0&0"), Answer(""));
}

TEST_F(ApiServerTest, ResetPortMovesTheListenerOrKeepsIt) {
  EXPECT_EQ(Get("UseKey&resetport&0"), Answer("0|error"));
  EXPECT_EQ(Get("UseKey&resetport&65536"), Answer("0|error"));
  // A port in use: the old one keeps serving.
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::AnyIPv4));
  EXPECT_EQ(Get("UseKey&resetport&" + QByteArray::number(taken.serverPort())), Answer("0|error"));
  EXPECT_TRUE(application.State().StatusBar().Text().startsWith(u"服务启动失败,错误: "_s));
  EXPECT_EQ(Get("UseKey&getcount&"), Answer("1|0"));

  const quint16 fresh = test::ClosedPort();
  Config().SetText(&SettingsPanel::Text10, u"NewKey"_s);
  EXPECT_EQ(Get("UseKey&resetport&" + QByteArray::number(fresh)), Answer("1|success"));
  EXPECT_EQ(Config().Panel().Text8, QString::number(fresh));
  ASSERT_TRUE(test::WaitFor([&] { return api().Port() == fresh; }, 2000));
  const quint16 old = port;
  port = fresh;
  EXPECT_EQ(Get("NewKey&getcount&"), Answer("1|0"));  // the password was read again
  test::RawClient gone(old);
  EXPECT_FALSE(gone.Connected());
}

TEST_F(ApiServerTest, ResetPortMovesWhetherOrNotTheClientStays) {
  const struct {
    const char* name;
    std::function<void(quint16 to)> ask;
  } clients[] = {
      {"curl, which closes as soon as it has the answer",
       [&](quint16 to) {
         EXPECT_EQ(Run(u"curl"_s, {u"-s"_s, Url(u"UseKey&resetport&%1"_s.arg(to))}), "1|success");
       }},
      {"a client that closes right after its request",
       [&](quint16 to) {
         test::RawClient client(port);
         ASSERT_TRUE(client.Connected());
         client.Send("GET /api.zx?UseKey&resetport&" + QByteArray::number(to) +
                     " HTTP/1.1\r\n\r\n");
         client.Close();
       }},
  };
  for (const auto& client : clients) {
    const quint16 fresh = test::ClosedPort();
    client.ask(fresh);
    ASSERT_TRUE(test::WaitFor([&] { return api().Port() == fresh; }, 3000)) << client.name;
    port = fresh;
    EXPECT_EQ(Get("UseKey&getcount&"), Answer("1|0")) << client.name;
  }
  // The port in use already: nothing to move, and nothing changes.
  Config().SetText(&SettingsPanel::Text10, u"NewKey"_s);
  EXPECT_EQ(Get("UseKey&resetport&" + QByteArray::number(port)), Answer("1|success"));
  EXPECT_EQ(api().Port(), port);
  EXPECT_EQ(Get("UseKey&getcount&"), Answer("1|0"));  // the password was not read again
}

TEST_F(ApiServerTest, AClientThatShutsDownItsSendingSideStillGetsItsAnswer) {
  List().AppendRows(std::vector<NewRow>(20000, NewRow{u"10.1.2.3:8080"_s}));
  const QByteArray all = Answer(QByteArray("10.1.2.3:8080<br/>").repeated(20000));
  const struct {
    QByteArray request, answer;
  } cases[] = {
      {"GET /api.zx?UseKey&getcount& HTTP/1.1\r\n\r\n", Answer("1|20000")},
      {"POST /api.zx HTTP/1.1\r\nContent-Length: 16\r\n\r\nUseKey&getcount&", Answer("1|20000")},
      {"GET /api.zx?UseKey&getip&0&0&0&0 HTTP/1.1\r\n\r\n", all},
      {"GET /api.zx?UseKey&setrefpage&3 HTTP/1.1\r\n\r\n", Answer("1|success")},
  };
  for (const auto& c : cases) {
    test::RawClient client(port);
    ASSERT_TRUE(client.Connected());
    client.Send(c.request);
    client.ShutDownSending();
    bool closed = false;
    EXPECT_EQ(client.Received(5000, &closed), c.answer) << c.request.toStdString();
    EXPECT_TRUE(closed);
  }
  EXPECT_TRUE(test::WaitFor([&] { return api().Clients() == 0; }, 3000));
}

TEST_F(ApiServerTest, AClientThatDoesNotTakeItsAnswerIsAbortedAtTheIdleLimit) {
  api().SetIdleMs(300);
  // Several megabytes: more than the client's and the server's socket buffers hold together.
  List().AppendRows(
      std::vector<NewRow>(100000, NewRow{u"10.1.2.3:8080"_s, u"北京市海淀区中关村大街一号"_s}));
  std::vector<int> stalled;
  for (int i = 0; i < 3; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    const std::string request = "GET /api.zx?UseKey&getip&0&0&0&1 HTTP/1.1\r\n\r\n";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_TRUE(test::WriteAll(fd, request));
    stalled.push_back(fd);
  }
  ASSERT_TRUE(test::WaitFor([&] { return api().Clients() == 3; }, 3000));
  // Never read: each slot is given back at the idle limit, not held for ever.
  EXPECT_TRUE(test::WaitFor([&] { return api().Clients() == 0; }, 5000)) << api().Clients();
  EXPECT_EQ(Get("UseKey&getcount&"), Answer("1|100000"));
  for (const int fd : stalled) ::close(fd);
}

TEST_F(ApiServerTest, StartFailuresAndStopThenStart) {
  application.Run(CommandId::kToggleApi);  // stop
  EXPECT_FALSE(api().Listening());
  ASSERT_TRUE(
      test::WaitFor([&] { return Config().Panel().Text9.contains(u"外网:61.1.2.3"_s); }, 5000));
  const QString address_info = Config().Panel().Text9;
  EXPECT_TRUE(address_info.startsWith(u"内网:"_s));

  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::AnyIPv4));
  for (const QString& bad : {QString::number(taken.serverPort()), u"0"_s, u"70000"_s, u"abc"_s}) {
    Config().SetText(&SettingsPanel::Text8, bad);
    window->messages.clear();
    application.Run(CommandId::kToggleApi);
    EXPECT_FALSE(api().Listening()) << bad.toStdString();
    ASSERT_EQ(window->messages.size(), 1u);
    EXPECT_TRUE(window->messages[0].text.startsWith(u"服务启动失败,错误: "_s));
    EXPECT_TRUE(window->messages[0].title.startsWith(u"错误代码: "_s));
    EXPECT_EQ(window->messages[0].icon, MessageIcon::Critical);
  }
  Config().SetText(&SettingsPanel::Text8, QString::number(port));
  Config().SetText(&SettingsPanel::Text10, u"Other"_s);
  application.Run(CommandId::kToggleApi);
  ASSERT_TRUE(api().Listening());
  EXPECT_EQ(Get("UseKey&getcount&"), QByteArray());
  EXPECT_EQ(Get("other&getcount&"), Answer("1|0"));
  EXPECT_EQ(Config().Panel().Text9, address_info);  // shown at the first start only
}

TEST_F(ApiServerTest, TwoHundredClientsAtOnceAndNoMore) {
  std::vector<std::unique_ptr<test::RawClient>> idle;
  for (int i = 0; i < ApiServer::kMostClients; ++i) {
    idle.push_back(std::make_unique<test::RawClient>(port));
    ASSERT_TRUE(idle.back()->Connected());
  }
  ASSERT_TRUE(test::WaitFor([&] { return api().Clients() == ApiServer::kMostClients; }, 5000));
  test::RawClient waiting(port);
  waiting.Connected();  // the kernel takes it; the API does not
  waiting.Send("GET /api.zx?UseKey&getcount& HTTP/1.1\r\n\r\n");
  EXPECT_EQ(waiting.Received(500), QByteArray());
  EXPECT_EQ(api().Clients(), ApiServer::kMostClients);
  idle.pop_back();  // a slot frees: the waiting client is served
  EXPECT_EQ(waiting.Received(3000), Answer("1|0"));
}

TEST_F(ApiServerTest, HostileClientsHoldNoSlotForEver) {
  api().SetIdleMs(300);
  // A request one byte at a time is still one request.
  {
    test::RawClient slow(port);
    ASSERT_TRUE(slow.Connected());
    for (const char byte : QByteArray("GET /api.zx?UseKey&getcount& HTTP/1.1\r\n\r\n")) {
      slow.Send(QByteArray(1, byte));
      test::WaitFor([] { return false; }, 2);
    }
    EXPECT_EQ(slow.Received(3000), Answer("1|0"));
  }
  // Garbage, a header block that never ends, an endless body: closed at the idle limit.
  for (const QByteArray& hostile :
       {QByteArray("\x00\xff\xfe\x81\x40garbage", 12),
        QByteArray("GET /api.zx?UseKey&getcount& HTTP/1.1\r\n") + QByteArray(20000, 'h'),
        QByteArray("POST /api.zx HTTP/1.1\r\nContent-Length: 9\r\n\r\nab")}) {
    bool closed = false;
    EXPECT_EQ(Ask(hostile, &closed, 3000), QByteArray());
    EXPECT_TRUE(closed);
  }
  // Many connections opened and closed leave nothing behind.
  for (int i = 0; i < 10000; ++i) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.abort();
    if (i % 500 == 0) QCoreApplication::processEvents();
  }
  ASSERT_TRUE(test::WaitFor([&] { return api().Clients() == 0; }, 10000));
  EXPECT_EQ(Get("UseKey&getcount&"), Answer("1|0"));
}

}  // namespace
}  // namespace ph
