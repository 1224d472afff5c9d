#include "support/child_servers.h"

#include "support/loopback_server.h"

#include <QStandardPaths>

#include <unistd.h>

namespace ph::test {
namespace {

using namespace Qt::StringLiterals;

QString FindProgram(const QString& name) {
  const QString on_path = QStandardPaths::findExecutable(name);
  if (!on_path.isEmpty()) return on_path;
  // Daemons live in sbin, which is not on every user's path.
  return QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/sbin"_s});
}

// A configuration file in dir named after the program and its port.
QString WriteConfig(const TempProgramDir& dir, const QString& program, uint16_t port,
                    const QString& text) {
  const QString name = u"%1-%2.conf"_s.arg(program).arg(port);
  dir.Write(name, text.toUtf8());
  return dir.File(name);
}

}  // namespace

ChildServer::ChildServer(const QString& program, const QStringList& arguments, uint16_t port)
    : port_(port) {
  const QString path = FindProgram(program);
  if (path.isEmpty()) return;
  process_.setStandardOutputFile(QProcess::nullDevice());
  process_.setStandardErrorFile(QProcess::nullDevice());
  process_.start(path, arguments);
  started_ = process_.waitForStarted(5000) && WaitFor([this] {
               const int fd = ConnectLoopback(port_);
               if (fd >= 0) ::close(fd);
               return fd >= 0;
             });
}

ChildServer::~ChildServer() {
  // A polite end first: danted takes its helper processes with it only on SIGTERM.
  process_.terminate();
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

QString ChildServer::Address(const QString& scheme) const {
  const QString address = u"127.0.0.1:%1"_s.arg(port_);
  return scheme.isEmpty() ? address : scheme + u"://"_s + address;
}

std::unique_ptr<ChildServer> StartTinyproxy(const TempProgramDir& dir, const QString& extra) {
  const uint16_t port = ClosedPort();
  const QString config = WriteConfig(dir, u"tinyproxy"_s, port,
                                     u"Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                                     "Allow 127.0.0.1\nLogLevel Error\n%2\n"_s.arg(port)
                                         .arg(extra));
  return std::make_unique<ChildServer>(u"tinyproxy"_s, QStringList{u"-d"_s, u"-c"_s, config}, port);
}

std::unique_ptr<ChildServer> StartMicrosocks() {
  const uint16_t port = ClosedPort();
  return std::make_unique<ChildServer>(
      u"microsocks"_s, QStringList{u"-i"_s, u"127.0.0.1"_s, u"-p"_s, QString::number(port)}, port);
}

std::unique_ptr<ChildServer> StartDanted(const TempProgramDir& dir) {
  const uint16_t port = ClosedPort();
  QString text =
      u"logoutput: stderr\ninternal: 127.0.0.1 port = %1\nexternal: 127.0.0.1\n"
      "clientmethod: none\nsocksmethod: none\n"_s.arg(port);
  // Run as root, it wants to know whom to become.
  if (geteuid() == 0) text += u"user.privileged: root\nuser.unprivileged: nobody\n"_s;
  text +=
      u"client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
      "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 command: connect }\n"_s;
  const QString config = WriteConfig(dir, u"danted"_s, port, text);
  return std::make_unique<ChildServer>(
      u"danted"_s,
      QStringList{u"-f"_s, config, u"-p"_s, dir.File(u"danted-%1.pid"_s.arg(port)), u"-N"_s,
                  u"1"_s},
      port);
}

}  // namespace ph::test
