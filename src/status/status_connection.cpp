#include "status/status_connection.h"

#include "rotate/http_message.h"
#include "status/status_routes.h"

#include <QTcpSocket>

#include <string_view>

namespace ph {

StatusConnection::StatusConnection(QTcpSocket* socket, const StatusBoard& board,
                                   const QString& password, int idle_ms, QObject* parent)
    : QObject(parent), socket_(socket), board_(board), password_(password), idle_ms_(idle_ms) {
  socket_->setParent(this);
  idle_.setSingleShot(true);
  // A client that sends no whole request in time (or none after its last answer) lets its
  // slot go.
  connect(&idle_, &QTimer::timeout, this, &StatusConnection::Abort);
  connect(socket_, &QTcpSocket::readyRead, this, &StatusConnection::OnData);
  connect(socket_, &QTcpSocket::disconnected, this, [this] {
    if (!finished_) {
      finished_ = true;
      emit Finished();
    }
  });
  connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
    // A closing connection still hands its last answer over; "disconnected" follows.
    if (!ending_) Abort();
  });
}

void StatusConnection::Begin() {
  idle_.start(idle_ms_);
  if (socket_->bytesAvailable() > 0) OnData();
}

void StatusConnection::Abort() {
  if (finished_) return;
  finished_ = true;
  idle_.stop();
  socket_->disconnect(this);
  socket_->abort();
  emit Finished();
}

void StatusConnection::OnData() {
  if (ending_ || finished_) {
    socket_->readAll();  // whatever comes after the last answer is not read
    return;
  }
  do {
    buffer_.append(socket_->read(kMostHeadBytes + 1 - buffer_.size()));
    if (!ServeBuffered()) return;
    if (buffer_.size() > kMostHeadBytes) {
      Answer(ResponseBytes(Refusal(431), false, false), false);
      return;
    }
  } while (socket_->bytesAvailable() > 0);
}

bool StatusConnection::ServeBuffered() {
  while (!ending_ && !finished_) {
    const std::size_t length =
        HeadLength(std::string_view(buffer_.constData(), static_cast<std::size_t>(buffer_.size())));
    if (length == 0) return true;
    const QByteArray head = buffer_.left(static_cast<qsizetype>(length));
    buffer_.remove(0, static_cast<qsizetype>(length));
    const std::optional<HttpHead> parsed = ParseHttpHead(head);
    if (!parsed) {
      Answer(ResponseBytes(Refusal(400), false, false), false);
      return false;
    }
    const HttpAnswer answer = StatusAnswer(board_, *parsed, password_);
    const bool keep_alive = parsed->keep_alive && !answer.close && ++served_ < kMostRequests;
    Answer(ResponseBytes(answer, parsed->method == "HEAD", keep_alive), keep_alive);
  }
  return false;
}

void StatusConnection::Answer(const QByteArray& bytes, bool keep_alive) {
  socket_->write(bytes);
  // Out now, as far as the system takes it: a client that closes its side right after its
  // request still gets the answer.
  socket_->flush();
  if (socket_->bytesToWrite() > kMostUnreadBytes) {
    Abort();  // answers pile up unread: the client is not reading them
    return;
  }
  if (keep_alive) {
    idle_.start(idle_ms_);
    return;
  }
  ending_ = true;
  idle_.start(idle_ms_);  // the answer must leave in time too
  socket_->disconnectFromHost();
}

}  // namespace ph
