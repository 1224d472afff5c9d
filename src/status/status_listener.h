#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QTcpServer;

namespace ph {

class StatusBoard;

// Where and how the status listener serves.
struct StatusOptions {
  QString address = QStringLiteral("127.0.0.1");  // an IPv4 or IPv6 address of this machine
  int port = 0;                                   // 0: one the system chooses
  QString password;                               // HTTP Basic; empty for none
};

// The status listener: the page, "/status.json", "/metrics" and "/healthz" over HTTP/1.1 with
// keep-alive, apart from the control API. At most kMostClients connections at once; more wait
// unaccepted until one ends. Every answer is made at once from counts kept as things change,
// so it serves from the window's thread. Window's thread only.
class StatusListener : public QObject {
  Q_OBJECT

 public:
  // 50 browsers with a few connections each, and scrapers besides.
  static constexpr int kMostClients = 256;
  // A connection without a whole request this long (after its last answer) is closed.
  static constexpr int kIdleMs = 15000;

  explicit StatusListener(const StatusBoard& board, QObject* parent = nullptr);
  ~StatusListener() override;

  // Opens the port; one open before is closed first, with its clients. Why not, when it
  // cannot be opened.
  std::optional<QString> Start(const StatusOptions& options);
  void Stop();
  bool Listening() const;
  quint16 Port() const;
  int Clients() const { return clients_; }

  // For tests: the idle limit of connections accepted from now on.
  void SetIdleMs(int ms) { idle_ms_ = ms; }

 private:
  void AcceptPending();

  const StatusBoard& board_;
  std::unique_ptr<QTcpServer> server_;
  QString password_;
  int clients_ = 0;
  int idle_ms_ = kIdleMs;
};

}  // namespace ph
