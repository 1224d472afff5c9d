#include "status/status_listener.h"

#include "status/status_connection.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace ph {

using namespace Qt::StringLiterals;

StatusListener::StatusListener(const StatusBoard& board, QObject* parent)
    : QObject(parent), board_(board) {}

StatusListener::~StatusListener() { Stop(); }

bool StatusListener::Listening() const { return server_ != nullptr; }

quint16 StatusListener::Port() const { return server_ ? server_->serverPort() : 0; }

std::optional<QString> StatusListener::Start(const StatusOptions& options) {
  Stop();
  QHostAddress address;
  if (!address.setAddress(options.address.trimmed()))
    return u"地址无效: %1 (应为本机的 IPv4 或 IPv6 地址)"_s.arg(options.address);
  if (options.port < 0 || options.port > 65535)
    return u"端口无效: %1 (应为 1-65535)"_s.arg(options.port);
  auto server = std::make_unique<QTcpServer>();
  server->setListenBacklogSize(kMostClients);
  if (!server->listen(address, static_cast<quint16>(options.port)))
    return u"无法在 %1 端口 %2 监听: %3"_s.arg(options.address)
        .arg(options.port)
        .arg(server->errorString());
  server->setMaxPendingConnections(kMostClients);
  connect(server.get(), &QTcpServer::newConnection, this, &StatusListener::AcceptPending);
  server_ = std::move(server);
  password_ = options.password;
  return std::nullopt;
}

void StatusListener::Stop() {
  server_.reset();
  // The clients of the port that was open end with it.
  for (StatusConnection* connection : findChildren<StatusConnection*>(Qt::FindDirectChildrenOnly))
    connection->Abort();
}

void StatusListener::AcceptPending() {
  while (server_ && clients_ < kMostClients && server_->hasPendingConnections()) {
    QTcpSocket* socket = server_->nextPendingConnection();
    ++clients_;
    auto* connection = new StatusConnection(socket, board_, password_, idle_ms_, this);
    connect(connection, &StatusConnection::Finished, this, [this, connection] {
      // Until it goes, Stop finds it among the children; an ended connection ignores that.
      connection->deleteLater();
      --clients_;
      AcceptPending();
    });
    connection->Begin();
  }
}

}  // namespace ph
