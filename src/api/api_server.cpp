#include "api/api_server.h"

#include "core/app_state.h"
#include "iploc/ip_location.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// An answer is held this long before the connection closes, so the data can leave.
constexpr int kHoldMs = 50;
// The number a start gives for a port outside 1-65535.
constexpr int kInvalidPortError = 380;

// The address the machine is known by on its own network.
QString LocalIpv4() {
  for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
      return address.toString();
  }
  return u"127.0.0.1"_s;
}

}  // namespace

struct ApiServer::Client {
  QTcpSocket* socket = nullptr;
  RequestCollector collector;
  QTimer idle;  // aborts a client that keeps its slot without a request or its answer
  QTimer next;  // the next step of an answer under way
  bool answering = false;
  unsigned generation = 0;
};

ApiServer::ApiServer(AppState& state, CommandRunner run, QObject* parent)
    : QObject(parent), state_(state), run_(std::move(run)) {
  take_over_.setSingleShot(true);
  connect(&take_over_, &QTimer::timeout, this, &ApiServer::TakeOverNextPort);
}

ApiServer::~ApiServer() { Stop(); }

bool ApiServer::Listening() const { return listener_ != nullptr; }

quint16 ApiServer::Port() const { return listener_ ? listener_->serverPort() : 0; }

std::optional<ApiServer::Failure> ApiServer::StartOrStop() {
  if (!Listening()) return Start();
  Stop();
  return std::nullopt;
}

std::optional<ApiServer::Failure> ApiServer::Start() {
  std::optional<Failure> failure;
  std::unique_ptr<QTcpServer> listener =
      Listen(state_.Config().Whole(&SettingsPanel::Text8), failure);
  if (!listener) return failure;
  Adopt(std::move(listener));
  password_ = state_.Config().Panel().Text10;
  if (!addresses_shown_) ShowAddresses();
  emit ListeningChanged(true);
  return std::nullopt;
}

void ApiServer::Stop() {
  const bool was_listening = Listening();
  take_over_.stop();  // a port switch still to come would start listening again
  next_listener_.reset();
  listener_.reset();
  // Connections in the middle of an answer are cut.
  while (!clients_.empty()) Close(clients_.front().get(), true);
  if (was_listening) emit ListeningChanged(false);
}

std::unique_ptr<QTcpServer> ApiServer::Listen(int port, std::optional<Failure>& failure) {
  if (port < 1 || port > 65535) {
    failure = Failure{kInvalidPortError, u"端口无效: %1 (应为 1-65535)"_s.arg(port)};
    return nullptr;
  }
  auto listener = std::make_unique<QTcpServer>();
  // Room for every client of a full pool reconnecting at once: with Qt's 50, the kernel drops
  // the rest of a burst and those clients wait a second to try again.
  listener->setListenBacklogSize(kMostClients);
  if (!listener->listen(QHostAddress::AnyIPv4, static_cast<quint16>(port))) {
    failure = Failure{static_cast<int>(listener->serverError()), listener->errorString()};
    return nullptr;
  }
  return listener;
}

void ApiServer::Adopt(std::unique_ptr<QTcpServer> listener) {
  listener_ = std::move(listener);
  ++generation_;
  listener_->setMaxPendingConnections(kMostClients);
  connect(listener_.get(), &QTcpServer::newConnection, this, &ApiServer::AcceptPending);
  AcceptPending();
}

void ApiServer::ShowAddresses() {
  addresses_shown_ = true;
  const QString local = LocalIpv4();
  QueryExternalAddress(state_.EndpointTable(), this, [this, local](const QString& external) {
    state_.Config().SetText(&SettingsPanel::Text9, u"内网:"_s + local + u" 外网:"_s + external);
  });
}

void ApiServer::AcceptPending() {
  // Beyond the last slot a connection waits, unaccepted, until a slot is free.
  while (listener_ && static_cast<int>(clients_.size()) < kMostClients &&
         listener_->hasPendingConnections()) {
    QTcpSocket* socket = listener_->nextPendingConnection();
    socket->setParent(this);
    Client* client = clients_.emplace_back(std::make_unique<Client>()).get();
    client->socket = socket;
    client->generation = generation_;
    client->idle.setSingleShot(true);
    client->next.setSingleShot(true);
    connect(&client->idle, &QTimer::timeout, this, [this, client] { Close(client, true); });
    connect(socket, &QTcpSocket::readyRead, this, [this, client] { OnData(client); });
    connect(socket, &QTcpSocket::disconnected, this, [this, client] { Forget(client); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, client](QAbstractSocket::SocketError) {
      if (!client->answering) Close(client, true);
    });
    client->idle.start(idle_ms_);
    if (socket->bytesAvailable() > 0) OnData(client);
  }
}

void ApiServer::OnData(Client* client) {
  if (client->answering) return;
  const QByteArray arrived = client->socket->readAll();
  switch (client->collector.Add(arrived)) {
    case RequestCollector::State::Incomplete:
    case RequestCollector::State::TooLong:  // ignored; the idle limit ends the connection
      return;
    case RequestCollector::State::Complete:
      break;
  }
  const ApiRequest request = ParseApiRequest(client->collector.Take(), password_);
  switch (request.kind) {
    case ApiRequest::Kind::kIgnore:
      client->idle.start(idle_ms_);
      return;
    case ApiRequest::Kind::kFail:
      Close(client, true);
      return;
    case ApiRequest::Kind::kDispatch:
      break;
  }
  requests_.Count(ApiCommandWord(request.elements));
  Reply(client, DispatchApiCommand(request.elements, run_));
}

void ApiServer::Reply(Client* client, ApiReply reply) {
  switch (reply.kind) {
    case ApiReply::Kind::kIgnore:
      client->idle.start(idle_ms_);
      return;
    case ApiReply::Kind::kFail:
      Close(client, true);
      return;
    case ApiReply::Kind::kAnswer:
    case ApiReply::Kind::kCloseQuietly:
      break;
  }
  client->answering = true;
  StopReading(client->socket);
  // The idle limit covers the answer too: a client that does not take it in time is aborted.
  client->idle.start(idle_ms_);
  const int hold_ms = reply.kind == ApiReply::Kind::kAnswer ? kHoldMs : 0;
  // Each step waits for the event loop: a command's own pause, then the answer and its hold.
  const auto send = [this, client, hold_ms, reply = std::move(reply)] {
    if (reply.kind == ApiReply::Kind::kAnswer) client->socket->write(ApiResponse(reply.body));
    disconnect(&client->next, &QTimer::timeout, this, nullptr);
    // After the data has been handed to the network.
    connect(&client->next, &QTimer::timeout, this, [this, client] { Close(client, false); });
    client->next.start(hold_ms);
  };
  connect(&client->next, &QTimer::timeout, this, send);
  client->next.start(reply.delay_ms);
}

void ApiServer::StopReading(QTcpSocket* socket) {
  // Qt takes the end of a client's input for the end of the connection and closes the socket,
  // yet some clients shut down their sending side as soon as the request is sent. No more
  // input is wanted once an answer is under way: one byte put back fills a one-byte read
  // buffer, and a full buffer stops the reading.
  socket->setReadBufferSize(1);
  socket->ungetChar('\n');
}

void ApiServer::Close(Client* client, bool at_once) {
  QTcpSocket* socket = client->socket;
  if (!at_once && socket->state() == QAbstractSocket::ConnectedState) {
    // Writes what is pending first; "disconnected", now or later, forgets the client.
    socket->disconnectFromHost();
    return;
  }
  // Forgotten here and only here: a signal of the aborted socket must not forget it again,
  // by then perhaps a new client at the same address.
  socket->disconnect(this);
  socket->abort();
  Forget(client);
}

void ApiServer::Forget(Client* client) {
  const auto it =
      std::find_if(clients_.begin(), clients_.end(),
                   [client](const std::unique_ptr<Client>& c) { return c.get() == client; });
  if (it == clients_.end()) return;
  client->socket->disconnect(this);
  client->socket->deleteLater();
  clients_.erase(it);
  AcceptPending();
}

bool ApiServer::MovePort(int port) {
  if (Listening() && port == Port() && !next_listener_) return true;
  std::optional<Failure> failure;
  std::unique_ptr<QTcpServer> fresh = Listen(port, failure);
  if (!fresh) {
    // The old port keeps serving; a remote caller gets no message box, the user a status text.
    state_.StatusBar().SetProblem(u"服务启动失败,错误: "_s + failure->description +
                                  u" (错误代码: %1)"_s.arg(failure->number));
    return false;
  }
  state_.Config().SetText(&SettingsPanel::Text8, QString::number(port));
  next_listener_ = std::move(fresh);
  // Whether or not the one who asked is still connected: its answer leaves first.
  take_over_.start(kHoldMs);
  return true;
}

void ApiServer::TakeOverNextPort() {
  if (!next_listener_) return;
  // The old listener and its clients go, the new port takes over and the password is read
  // again, as a stop and a start would do.
  const unsigned old_generation = generation_;
  std::vector<Client*> old;
  for (const auto& client : clients_)
    if (client->generation <= old_generation) old.push_back(client.get());
  for (Client* client : old) Close(client, false);
  Adopt(std::move(next_listener_));
  password_ = state_.Config().Panel().Text10;
}

}  // namespace ph
