#pragma once

#include "api/api_commands.h"
#include "api/api_request.h"
#include "api/api_request_counts.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <list>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace ph {

class AppState;

// The control API's listener: a TCP port on every local IPv4 address, at most 200 connected
// clients, one request per connection, answered and then closed. Lives on the window's thread
// and is driven by socket events and timers only; the front ends show its state and its
// failures.
class ApiServer : public QObject {
  Q_OBJECT

 public:
  // run carries out the commands requests ask for.
  ApiServer(AppState& state, CommandRunner run, QObject* parent = nullptr);
  ~ApiServer() override;

  // Why the listener could not start: the system's description and its number.
  struct Failure {
    int number = 0;
    QString description;
  };

  bool Listening() const;
  quint16 Port() const;
  int Clients() const { return static_cast<int>(clients_.size()); }
  // The requests that reached the command table, by the command they asked for.
  const ApiRequestCounts& Requests() const { return requests_; }

  // Starts listening when stopped (port from Text8, password from Text10), stops when
  // listening. A failed start leaves everything as it was and says why.
  std::optional<Failure> StartOrStop();

  // Moves the listener to the port: the new port is opened at once, and a moment later (so
  // that the answer of whoever asked can leave) it takes over from the old one, whose clients
  // are closed, and the password is read again. False when the port cannot be opened; the old
  // one keeps serving and a status text says why. The port in use already changes nothing.
  bool MovePort(int port);

  static constexpr int kMostClients = 200;
  // A client that has not finished a request, stays silent after an ignored one, or has not
  // taken its whole answer this long is closed, so idle connections cannot lock everyone else
  // out.
  static constexpr int kIdleMs = 30000;

  // For tests: the idle limit.
  void SetIdleMs(int ms) { idle_ms_ = ms; }

 signals:
  void ListeningChanged(bool listening);

 private:
  struct Client;

  std::optional<Failure> Start();
  void Stop();
  std::unique_ptr<QTcpServer> Listen(int port, std::optional<Failure>& failure);
  void Adopt(std::unique_ptr<QTcpServer> listener);
  void AcceptPending();
  void OnData(Client* client);
  void Reply(Client* client, ApiReply reply);
  static void StopReading(QTcpSocket* socket);
  void Close(Client* client, bool at_once);
  void Forget(Client* client);
  void TakeOverNextPort();
  void ShowAddresses();

  AppState& state_;
  CommandRunner run_;
  std::unique_ptr<QTcpServer> listener_;
  std::unique_ptr<QTcpServer> next_listener_;  // opened by MovePort, takes over shortly after
  QTimer take_over_;
  std::list<std::unique_ptr<Client>> clients_;
  QString password_;  // ActiveApiPassword
  ApiRequestCounts requests_;
  bool addresses_shown_ = false;
  int idle_ms_ = kIdleMs;
  unsigned generation_ = 0;  // which listener a client came through
};

}  // namespace ph
