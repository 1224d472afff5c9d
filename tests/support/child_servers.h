#pragma once

#include "support/sandbox.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace ph::test {

// A server program a test starts on a free loopback port of 127.0.0.1, for as long as the
// object lives. Started() is false when the program is not installed or never listened.
class ChildServer {
 public:
  ChildServer(const QString& program, const QStringList& arguments, uint16_t port);
  ~ChildServer();
  ChildServer(const ChildServer&) = delete;
  ChildServer& operator=(const ChildServer&) = delete;

  bool Started() const { return started_; }
  uint16_t Port() const { return port_; }
  // "127.0.0.1:port", with "scheme://" before it when a scheme is given.
  QString Address(const QString& scheme = {}) const;

 private:
  uint16_t port_;
  QProcess process_;
  bool started_ = false;
};

// tinyproxy, its configuration in dir with the extra lines appended ("Bind 127.0.0.2").
std::unique_ptr<ChildServer> StartTinyproxy(const TempProgramDir& dir, const QString& extra = {});
// microsocks: SOCKS5 without authentication.
std::unique_ptr<ChildServer> StartMicrosocks();
// Dante's danted: SOCKS4 and SOCKS5 without authentication, its configuration in dir.
std::unique_ptr<ChildServer> StartDanted(const TempProgramDir& dir);

}  // namespace ph::test
