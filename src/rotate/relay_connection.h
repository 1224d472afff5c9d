#pragma once

#include "rotate/client_protocol.h"
#include "rotate/http_message.h"
#include "rotate/relay_direction.h"
#include "rotate/selector.h"
#include "rotate/socks_messages.h"
#include "rotate/target.h"
#include "rotate/upstream_handshake.h"
#include "rotate/user_options.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace ph {

class RelayLoop;

// One client connection of the rotating port, from its first byte to its close: which
// protocol it speaks, its requests, the tries at upstreams and the relay once one answered.
// Lives on its loop's thread only.
class RelayConnection {
 public:
  RelayConnection(RelayLoop& loop, int client_fd, std::string client_key);
  ~RelayConnection();
  RelayConnection(const RelayConnection&) = delete;
  RelayConnection& operator=(const RelayConnection&) = delete;

  // The loop's bookkeeping.
  uint32_t slot = 0;
  uint64_t serial = 0;
  int64_t scheduled = std::numeric_limits<int64_t>::max();  // earliest deadline in the heap
  bool queued = false;  // waits in the loop's list of connections to go on with

  // Starts reading; false when the socket could not be watched.
  bool Begin();
  // epoll's events for one of its sockets.
  void OnEvent(bool upstream, uint32_t generation, uint32_t events);
  // Its deadline may have come.
  void OnTimer();
  // Goes on as far as it can now.
  void Advance();
  bool Finished() const { return finished_; }
  // Closes without another word (the port stops).
  void Abort();

 private:
  // The client's phases come first, in the order of ParseClient's readers.
  enum class Phase : uint8_t {
    kGreeting,  // the first bytes tell the protocol
    kSocks5Greeting,
    kSocks5Auth,
    kSocks5Request,
    kSocks4Request,
    kHttpHead,
    kTrying,      // an upstream is connected to, greeted or asked
    kTunnel,      // bytes both ways until either side ends
    kForwarding,  // a forwarded request's body and its response
    kClosing,     // our last words, then the close
  };
  enum class TryStage : uint8_t { kConnecting, kHandshake, kAwaitingAnswer };
  // What a transfer of our own did: nothing, moved bytes, or failed (and was dealt with: the
  // phase has changed).
  enum class Flow : uint8_t { kIdle, kMoved, kFailed };

  bool Step();
  int64_t Deadline() const;
  void SetPhase(Phase phase);
  void Touch();

  // The client's greeting, handshake and request heads.
  bool ClientSpeaks();
  bool ReadClient();
  bool ParseClient();
  bool ReadGreeting();
  bool ReadSocks5Greeting();
  bool ReadSocks5Auth();
  bool ReadSocks5Request();
  bool ReadSocks4Request();
  bool ReadHttpHead();
  bool PasswordAccepted(bool has_credentials, const std::string& password) const;
  void Consume(std::size_t count);
  // The client's next message once it is whole, taken off its bytes; a malformed one closes
  // the connection.
  template <typename T>
  std::optional<T> Take(Read<T> read);
  void WatchKeptUpstream();

  // Requests and tries.
  void StartRequest(bool tunnel);
  void StartTry();
  bool TryStep();
  bool Connecting();
  bool Handshaking();
  bool AwaitingAnswer();
  void HandshakeDone();
  void TryFailed(FaultClass fault, uint8_t socks5_code = 0);
  bool CanRetry() const;
  void FailRequest(FaultClass fault);
  // Counts the fault; a proxy fault also goes to the breaker and the faulted rows.
  void Blame(FaultClass fault);

  // Relaying.
  bool TunnelStep();
  bool ForwardStep();
  bool ResponseHead();
  bool ResponseBody();
  void ResponseComplete();
  void EnterTunnel();
  enum class Way : uint8_t { kUp, kDown };  // client to upstream, upstream to client
  Flow Pump(Way way);
  void DirectionFailed(const Direction::Outcome& outcome, Way way);
  void UpstreamBrokeAnswer();

  // Our own bytes.
  Flow FlushToClient();
  Flow FlushToUpstream();
  void Reply(const std::string& bytes);
  void RefuseClient(const std::string& reply);
  void StartClosing();
  bool ClosingStep();

  // Sockets.
  bool OpenUpstream(const Chosen& chosen);
  void DropUpstream();
  void Close();
  void CountFault(FaultClass fault);

  RelayLoop& loop_;
  Endpoint client_;
  Endpoint upstream_;
  uint32_t upstream_generation_ = 0;
  std::string client_key_;
  Direction up_;             // client to upstream
  Direction down_;           // upstream to client
  std::string to_client_;    // our replies and rewritten heads, ahead of down_'s bytes
  std::string to_upstream_;  // handshakes and request heads, ahead of up_'s bytes
  Phase phase_ = Phase::kGreeting;
  ClientProtocol kind_ = ClientProtocol::kUnknown;
  int64_t phase_started_ = 0;
  int64_t last_active_ = 0;
  bool finished_ = false;
  bool first_request_ = true;
  bool more_ = false;  // a step stopped at its budget with more to do
  bool closing_shut_ = false;

  // The current request.
  SelectionOptions options_;
  Target target_;
  bool tunnel_ = false;
  ProxyRequest request_;
  std::string replay_body_;  // a forwarded request's whole body, when it came with its head
  bool replayable_ = false;
  bool body_sent_ = false;  // body bytes beyond the replayable ones went upstream
  bool answered_ = false;   // bytes of this request's answer went to the client
  std::vector<RowId> tried_;
  int tries_ = 0;
  int64_t request_deadline_ = 0;
  FaultClass last_fault_ = FaultClass::kNone;
  uint8_t last_socks5_code_ = 0;

  // The current try, or the upstream kept between forwarded requests.
  std::optional<Chosen> chosen_;
  TryStage try_stage_ = TryStage::kConnecting;
  UpstreamHandshake handshake_;
  int64_t try_deadline_ = 0;
  bool reused_ = false;
  bool kept_ = false;  // upstream_ is a kept-alive connection to chosen_
  Target kept_target_;

  // The current response.
  bool response_head_done_ = false;
  ResponseInfo response_;
  bool close_after_ = false;
};

}  // namespace ph
