#pragma once

#include "support/sandbox.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <functional>

#include <sys/socket.h>

namespace ph::test {

// A client on a Qt socket, so the test's event loop serves it and the server under test alike.
class RawClient {
 public:
  explicit RawClient(quint16 port) {
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { received_ += socket_.readAll(); });
    socket_.connectToHost(QHostAddress::LocalHost, port);
  }
  // False at once when the connection is refused.
  bool Connected() {
    WaitFor(
        [&] {
          return socket_.state() == QAbstractSocket::ConnectedState ||
                 socket_.error() != QAbstractSocket::UnknownSocketError;
        },
        3000);
    return socket_.state() == QAbstractSocket::ConnectedState;
  }
  void Send(const QByteArray& bytes) {
    socket_.write(bytes);
    socket_.flush();
  }
  // What came so far, once it satisfies done or ms have passed.
  QByteArray ReceivedWhen(const std::function<bool(const QByteArray&)>& done, int ms) {
    WaitFor([&] { return done(received_); }, ms);
    return received_;
  }
  bool Open() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  // Ends the sending side only, as some clients do once the request is out.
  void ShutDownSending() { ::shutdown(static_cast<int>(socket_.socketDescriptor()), SHUT_WR); }
  // Ends the connection at once, without waiting for anything.
  void Close() { socket_.close(); }
  // What came until the server closed, waiting at most ms; closed says whether it did.
  QByteArray Received(int ms, bool* closed = nullptr) {
    const bool gone =
        WaitFor([&] { return socket_.state() == QAbstractSocket::UnconnectedState; }, ms);
    if (closed != nullptr) *closed = gone;
    return received_;
  }

 private:
  QTcpSocket socket_;
  QByteArray received_;
};

}  // namespace ph::test
