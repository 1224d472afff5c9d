#pragma once

#include "api/api_commands.h"
#include "api/api_request.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <random>

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
  // run_command runs a user command of the command table by name ("resethistory" needs one).
  ApiServer(AppState& state, std::function<bool(QStringView name)> run_command,
            QObject* parent = nullptr);
  ~ApiServer() override;

  // Why the listener could not start: the system's description and its number.
  struct Failure {
    int number = 0;
    QString description;
  };

  bool Listening() const;
  quint16 Port() const;
  int Clients() const { return static_cast<int>(clients_.size()); }

  // Command4: starts listening when stopped (port from Text8, password from Text10), stops
  // when listening. A failed start leaves everything as it was and says why.
  std::optional<Failure> ToggleApi();

  static constexpr int kMostClients = 200;
  // A client that has not finished a request, stays silent after an ignored one, or has not
  // taken its whole answer this long is closed, so idle connections cannot lock everyone else
  // out.
  static constexpr int kIdleMs = 30000;

  // For tests: the idle limit, and the seed of the random draws of "getip".
  void SetIdleMs(int ms) { idle_ms_ = ms; }
  void Seed(unsigned seed) { random_.seed(seed); }

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
  ApiReply ResetPort(int port);
  void ShowAddresses();

  AppState& state_;
  std::function<bool(QStringView)> run_command_;
  std::unique_ptr<QTcpServer> listener_;
  std::unique_ptr<QTcpServer> next_listener_;  // bound by "resetport", taken over after its answer
  std::list<std::unique_ptr<Client>> clients_;
  QString password_;  // ActiveApiPassword
  bool addresses_shown_ = false;
  int idle_ms_ = kIdleMs;
  std::mt19937 random_;
  unsigned generation_ = 0;  // which listener a client came through
};

}  // namespace ph
