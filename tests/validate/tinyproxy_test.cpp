#include "validate/probe.h"

#include "support/http_fixtures.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// A real tinyproxy on a free loopback port, for as long as the object lives.
class Tinyproxy {
 public:
  explicit Tinyproxy(const test::TempProgramDir& dir) : port_(test::ClosedPort()) {
    const QString config = dir.File(u"tinyproxy.conf"_s);
    dir.Write(u"tinyproxy.conf"_s, QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\n"
                                                  "MaxClients 20\nAllow 127.0.0.1\n"
                                                  "LogLevel Error\n")
                                       .arg(port_)
                                       .toLatin1());
    const QString program = QStandardPaths::findExecutable(u"tinyproxy"_s);
    if (program.isEmpty()) return;
    process_.start(program, {u"-d"_s, u"-c"_s, config});
    started_ = process_.waitForStarted(5000) && test::WaitFor([this] {
      const int fd = test::ConnectLoopback(port_);
      if (fd >= 0) ::close(fd);
      return fd >= 0;
    });
  }
  ~Tinyproxy() {
    process_.kill();
    process_.waitForFinished(5000);
  }

  bool Started() const { return started_; }
  QString Address() const { return u"127.0.0.1:%1"_s.arg(port_); }

 private:
  uint16_t port_;
  QProcess process_;
  bool started_ = false;
};

TEST(TinyproxyIntegration, ProbesThroughARealProxy) {
  test::TempProgramDir dir;
  Tinyproxy tinyproxy(dir);
  ASSERT_TRUE(tinyproxy.Started()) << "tinyproxy is installed by scripts/test";
  test::PageServer target;
  target.Set("/ic.asp", {200, "<p>your address: [127.0.0.1]</p>", "text/html", 0});

  ProbeSettings settings;
  settings.test_http = true;
  settings.timeout_ms = 5000;
  settings.http_url = QString::fromStdString(target.Url("/ic.asp")) + u"#ip138"_s;
  const std::string record = ProbeProxy(tinyproxy.Address(), 11, settings);
  EXPECT_EQ(record.rfind("lvid=11;suc=18;statu=200;", 0), 0u) << record;
  EXPECT_NE(record.find(";error=;errnum=0;"), std::string::npos);
  EXPECT_EQ(target.Requests(), 1);
}

}  // namespace
}  // namespace ph
