#pragma once

// The real program started as a server, and the control API asked with curl, for the tests
// of the headless mode.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <map>

#include <sys/types.h>

namespace ph {

using namespace Qt::StringLiterals;

class Server {
 public:
  Server() {
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
      environment.remove(name);
    process.setProcessEnvironment(environment);
  }
  ~Server() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(3000);
    }
  }
  // launcher, when given, is a command that ends by running the words after it.
  void Start(const QString& dir, const QStringList& arguments, QStringList launcher = {}) {
    process.setWorkingDirectory(dir);
    launcher << QStringLiteral(PH_PROGRAM) << u"--headless"_s << arguments;
    process.start(launcher.takeFirst(), launcher);
    ASSERT_TRUE(process.waitForStarted(5000));
  }
  // Waits for the end of a program that refuses to start; its output.
  QString Refusal() {
    EXPECT_TRUE(test::WaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000));
    log += QString::fromUtf8(process.readAll());
    EXPECT_EQ(process.exitCode(), 2) << log.toStdString();
    return log;
  }
  // Waits until the log holds the text.
  bool Logged(const QString& text, int ms = 20000) {
    return test::WaitFor(
        [&] {
          log += QString::fromUtf8(process.readAll());
          return log.contains(text);
        },
        ms);
  }
  // Sends the signal; the milliseconds until the process ended, or -1.
  long long Stop(int signal_number = SIGTERM) {
    ::kill(static_cast<pid_t>(process.processId()), signal_number);
    QElapsedTimer clock;
    clock.start();
    if (!test::WaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000)) return -1;
    log += QString::fromUtf8(process.readAll());
    return clock.elapsed();
  }

  QProcess process;
  QString log;
};

// A settings file for the server's API port, with the values given in place of the usual
// ones, and the endpoints on the loopback page server.
inline void WriteServerFiles(const test::TempProgramDir& dir, quint16 api_port, quint16 pages_port,
                             std::map<QString, QString> values = {}) {
  const std::map<QString, QString> usual{{u"Text8"_s, QString::number(api_port)},
                                         {u"Text7"_s, u"0"_s},
                                         {u"Text2"_s, u"2000"_s},
                                         {u"Text3"_s, u"20"_s},
                                         {u"Check3"_s, u"0"_s},
                                         {u"Check9"_s, u"0"_s},
                                         {u"Check11"_s, u"0"_s},
                                         {u"Text1"_s, u"1"_s}};
  values.insert(usual.begin(), usual.end());  // the given ones stay
  QString text = u"[ProxyHarvest]\n"_s;
  for (const auto& [key, value] : values) text += key + u'=' + value + u'\n';
  dir.Write(u"proxyharvest.ini"_s, text.toUtf8());
  const QString base = u"http://127.0.0.1:%1"_s.arg(pages_port);
  dir.Write(u"endpoints.ini"_s,
            (u"xicidaili="_s + base + u"\ninfo_126="_s + base + u"\ninfo_ip138_page="_s + base +
             u"\ntest_ip138=http://ip138.test\n"_s)
                .toUtf8());
}

inline QByteArray Curl(quint16 port, const QString& query) {
  QProcess curl;
  curl.start(u"curl"_s, {u"-s"_s, u"http://127.0.0.1:%1/api.zx?%2"_s.arg(port).arg(query)});
  test::WaitFor([&] { return curl.state() == QProcess::NotRunning; }, 10000);
  return curl.readAllStandardOutput();
}

}  // namespace ph
