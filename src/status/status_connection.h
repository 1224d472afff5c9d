#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

namespace ph {

class StatusBoard;

// One client of the status listener: requests read one after another on the connection
// (pipelined ones too), each answered at once, until the client closes, asks to close, stays
// idle too long, sends a head that is too long or no HTTP, or leaves its answers unread.
// Window's thread only.
class StatusConnection : public QObject {
  Q_OBJECT

 public:
  // Nobody needs a longer head than this; browsers send well under 2 KiB.
  static constexpr qsizetype kMostHeadBytes = 16 * 1024;
  // Answers a client may leave unread before it is cut off.
  static constexpr qint64 kMostUnreadBytes = 4 * 1024 * 1024;
  // Requests on one connection before it is closed, so none is held for ever.
  static constexpr int kMostRequests = 1000;

  // Takes the socket over; password: empty for none.
  StatusConnection(QTcpSocket* socket, const StatusBoard& board, const QString& password,
                   int idle_ms, QObject* parent = nullptr);

  // Starts reading (what came already first) and the idle limit; Finished may come from now on.
  void Begin();
  // Ends the connection at once.
  void Abort();

 signals:
  // The connection is over; the object may go.
  void Finished();

 private:
  void OnData();
  // Answers the requests the buffer holds whole; false once the connection is to end.
  bool ServeBuffered();
  void Answer(const QByteArray& bytes, bool keep_alive);

  QTcpSocket* socket_;
  const StatusBoard& board_;
  const QString password_;
  const int idle_ms_;
  QByteArray buffer_;
  QTimer idle_;
  int served_ = 0;
  bool ending_ = false;
  bool finished_ = false;
};

}  // namespace ph
