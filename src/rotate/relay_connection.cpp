#include "rotate/relay_connection.h"

#include "rotate/relay_loop.h"
#include "rotate/socks_messages.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace ph {
namespace {

using Name = RotateCounterSet::Name;

// Bytes a direction moves in one step before the loop lets other connections go on.
constexpr std::size_t kPumpBudget = 256 * 1024;
// Steps a connection takes in one turn before it yields.
constexpr int kRounds = 16;
// How long our last words may take to leave before the connection is cut.
constexpr int64_t kLingerMs = 2000;

bool SameTarget(const Target& a, const Target& b) {
  return a.kind == b.kind && a.ip == b.ip && a.name == b.name && a.port == b.port;
}

std::string_view FailureText(FaultClass fault) {
  switch (fault) {
    case FaultClass::kTarget:
      return "the upstream proxies could not reach the target";
    case FaultClass::kNoProxy:
      return "no upstream proxy in the pool serves this request";
    default:
      return "no upstream proxy answered";
  }
}

// SOCKS5 has codes, not texts: the class is told by the code.
uint8_t Socks5FailureCode(FaultClass fault, uint8_t upstream_code) {
  switch (fault) {
    case FaultClass::kTarget:
      return upstream_code != 0 ? upstream_code : kSocks5HostUnreachable;
    case FaultClass::kNoProxy:
      return kSocks5NetworkUnreachable;
    default:
      return kSocks5GeneralFailure;
  }
}

}  // namespace

RelayConnection::RelayConnection(RelayLoop& loop, int client_fd, std::string client_key)
    : loop_(loop), client_key_(std::move(client_key)) {
  client_.fd = client_fd;
  phase_started_ = last_active_ = loop.NowMs();
}

RelayConnection::~RelayConnection() {
  if (!finished_) Close();
}

bool RelayConnection::Begin() {
  SetNoDelay(client_.fd);
  return loop_.Watch(*this, client_.fd, false, 0);
}

void RelayConnection::OnEvent(bool upstream, uint32_t generation, uint32_t events) {
  if (finished_) return;
  if (upstream && (generation != upstream_generation_ || upstream_.fd < 0)) return;
  Endpoint& end = upstream ? upstream_ : client_;
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) end.readable = true;
  if (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) end.peer_closed = true;
  if (events & (EPOLLOUT | EPOLLHUP | EPOLLERR)) end.writable = true;
  Advance();
}

void RelayConnection::Advance() {
  more_ = false;
  int round = 0;
  while (!finished_ && Step()) {
    if (++round == kRounds) {
      more_ = true;
      break;
    }
  }
  if (finished_) return;
  if (more_) loop_.Resume(*this);
  up_.Lighten(loop_.Pipes());
  down_.Lighten(loop_.Pipes());
  loop_.Schedule(*this, Deadline());
}

void RelayConnection::OnTimer() {
  if (finished_) return;
  if (loop_.NowMs() < Deadline()) {
    loop_.Schedule(*this, Deadline());
    return;
  }
  switch (phase_) {
    case Phase::kTrying:
      TryFailed(FaultClass::kProxy);  // no answer in time
      Advance();
      return;
    case Phase::kTunnel:
    case Phase::kForwarding:
    case Phase::kClosing:
      return Close();
    default:
      // A client that said something and never finished; one that said nothing is no fault.
      if (!up_.Buffer().Empty()) CountFault(FaultClass::kClient);
      return Close();
  }
}

void RelayConnection::Abort() { Close(); }

bool RelayConnection::Step() {
  switch (phase_) {
    case Phase::kTrying:
      return TryStep();
    case Phase::kTunnel:
      return TunnelStep();
    case Phase::kForwarding:
      return ForwardStep();
    case Phase::kClosing:
      return ClosingStep();
    default:
      return ClientSpeaks();
  }
}

int64_t RelayConnection::Deadline() const {
  const RotateOptions& options = loop_.Shared().options;
  switch (phase_) {
    case Phase::kTrying:
      return try_deadline_;
    case Phase::kTunnel:
    case Phase::kForwarding:
      return last_active_ + options.idle_timeout_ms;
    case Phase::kClosing:
      return phase_started_ + kLingerMs;
    default:
      return phase_started_ +
             (first_request_ ? options.handshake_timeout_ms : options.idle_timeout_ms);
  }
}

void RelayConnection::SetPhase(Phase phase) { phase_ = phase; }

void RelayConnection::Touch() { last_active_ = loop_.NowMs(); }

void RelayConnection::CountFault(FaultClass fault) { loop_.Shared().counters.Fault(fault); }

// ---- The client's greeting, handshake and request heads.

bool RelayConnection::ClientSpeaks() {
  if (FlushToClient() == Flow::kFailed) return true;
  if (kept_) WatchKeptUpstream();
  if (ParseClient()) return true;
  if (finished_ || phase_ > Phase::kHttpHead) return true;
  return ReadClient();
}

bool RelayConnection::ReadClient() {
  if (!client_.readable || up_.SourceEnded() || up_.Buffer().Full()) return false;
  const IoResult result = up_.Buffer().ReadFrom(client_);
  switch (result.status) {
    case Io::kMoved:
      Touch();
      return true;
    case Io::kWouldBlock:
      return false;
    case Io::kEnd:
      up_.MarkSourceEnded();
      return true;
    case Io::kError:
      break;
  }
  CountFault(FaultClass::kClient);
  Close();
  return false;
}

bool RelayConnection::ParseClient() {
  if (up_.Buffer().Empty()) {
    // Gone before a word, or between requests: no fault.
    if (up_.SourceEnded()) Close();
    return false;
  }
  // The reader of each client phase, in the order of Phase.
  using Reader = bool (RelayConnection::*)();
  static constexpr Reader kReaders[] = {
      &RelayConnection::ReadGreeting,      &RelayConnection::ReadSocks5Greeting,
      &RelayConnection::ReadSocks5Auth,    &RelayConnection::ReadSocks5Request,
      &RelayConnection::ReadSocks4Request, &RelayConnection::ReadHttpHead,
  };
  const auto phase = static_cast<std::size_t>(phase_);
  if (phase >= std::size(kReaders)) return false;
  const bool progress = (this->*kReaders[phase])();
  if (!progress && up_.SourceEnded() && !finished_) {
    // Ended in the middle of a message.
    CountFault(FaultClass::kClient);
    Close();
  }
  return progress;
}

void RelayConnection::Consume(std::size_t count) { up_.Buffer().Consume(count); }

template <typename T>
std::optional<T> RelayConnection::Take(Read<T> read) {
  if (read.status == ReadStatus::kNeedMore) return std::nullopt;
  if (read.status == ReadStatus::kBad) {
    CountFault(FaultClass::kClient);
    Close();
    return std::nullopt;
  }
  Consume(read.used);
  return std::move(read.value);
}

bool RelayConnection::ReadGreeting() {
  kind_ = ClientProtocolOf(up_.Buffer().View().front());
  switch (kind_) {
    case ClientProtocol::kSocks5:
      SetPhase(Phase::kSocks5Greeting);
      break;
    case ClientProtocol::kSocks4:
      SetPhase(Phase::kSocks4Request);
      break;
    case ClientProtocol::kHttp:
      SetPhase(Phase::kHttpHead);
      break;
    case ClientProtocol::kUnknown:
      // Nothing we could answer would be understood.
      CountFault(FaultClass::kClient);
      Close();
      break;
  }
  return true;
}

bool RelayConnection::PasswordAccepted(bool has_credentials, const std::string& password) const {
  const std::string& expected = loop_.Shared().options.password;
  return expected.empty() || (has_credentials && password == expected);
}

bool RelayConnection::ReadSocks5Greeting() {
  const std::optional<Socks5Greeting> greeting = Take(ph::ReadSocks5Greeting(up_.Buffer().View()));
  if (!greeting) return false;
  // User and password are taken even without a password of ours: the user name carries the
  // options.
  if (greeting->user_password) {
    Reply(Socks5MethodReply(kSocks5UserPassword));
    SetPhase(Phase::kSocks5Auth);
  } else if (greeting->no_auth && loop_.Shared().options.password.empty()) {
    Reply(Socks5MethodReply(kSocks5NoAuth));
    SetPhase(Phase::kSocks5Request);
  } else {
    RefuseClient(Socks5MethodReply(kSocks5NoMethod));
  }
  return true;
}

bool RelayConnection::ReadSocks5Auth() {
  const Read<Credentials> read = ReadSocks5Credentials(up_.Buffer().View());
  if (read.status == ReadStatus::kNeedMore) return false;
  if (read.status == ReadStatus::kBad || !PasswordAccepted(true, read.value.password)) {
    RefuseClient(Socks5AuthReply(false));
    return true;
  }
  Consume(read.used);
  options_ = ReadUserOptions(read.value.user);
  Reply(Socks5AuthReply(true));
  SetPhase(Phase::kSocks5Request);
  return true;
}

bool RelayConnection::ReadSocks5Request() {
  const std::optional<SocksRequest> request = Take(ph::ReadSocks5Request(up_.Buffer().View()));
  if (!request) return false;
  if (request->command != 1) {
    RefuseClient(Socks5ConnectReply(kSocks5CommandNotSupported));
  } else if (request->bad_address) {
    RefuseClient(Socks5ConnectReply(kSocks5AddressNotSupported));
  } else {
    loop_.Shared().counters.Add(Name::kSocks5);
    target_ = request->target;
    StartRequest(true);
  }
  return true;
}

bool RelayConnection::ReadSocks4Request() {
  const std::optional<SocksRequest> request = Take(ph::ReadSocks4Request(up_.Buffer().View()));
  if (!request) return false;
  // SOCKS4 has no field for a password, so with one set it is refused.
  if (request->command != 1 || request->bad_address || !loop_.Shared().options.password.empty()) {
    RefuseClient(Socks4Reply(false));
    return true;
  }
  loop_.Shared().counters.Add(Name::kSocks4);
  options_ = ReadUserOptions(request->user);
  target_ = request->target;
  StartRequest(true);
  return true;
}

bool RelayConnection::ReadHttpHead() {
  const std::string_view buffered = up_.Buffer().View();
  const std::size_t length = HeadLength(buffered.substr(0, kMostHeadBytes));
  if (length == 0) {
    if (buffered.size() < kMostHeadBytes) return false;
    RefuseClient(ErrorResponse(431, "the request head is too large", FaultClass::kClient));
    return true;
  }
  RequestParse parse = ParseProxyRequest(buffered.substr(0, length));
  Consume(length);
  if (parse.error_status != 0) {
    RefuseClient(ErrorResponse(parse.error_status, parse.error_text, FaultClass::kClient));
    return true;
  }
  request_ = std::move(parse.request);
  if (!PasswordAccepted(request_.has_credentials, request_.password)) {
    RefuseClient(ErrorResponse(407, "wrong or missing password", FaultClass::kClient, true));
    return true;
  }
  options_ = request_.has_credentials ? ReadUserOptions(request_.user) : SelectionOptions{};
  target_ = request_.target;
  loop_.Shared().counters.Add(request_.connect ? Name::kConnectTunnels : Name::kHttpRequests);
  StartRequest(request_.connect);
  return true;
}

void RelayConnection::WatchKeptUpstream() {
  if (!upstream_.readable) return;
  char scrap[64];
  if (ReadFrom(upstream_, scrap, sizeof(scrap)).status == Io::kWouldBlock) return;
  // Its end, or bytes nobody asked for: either way it is done with.
  DropUpstream();
}

// ---- Requests and tries.

void RelayConnection::StartRequest(bool tunnel) {
  RelayShared& shared = loop_.Shared();
  shared.counters.Add(Name::kRequests);
  tunnel_ = tunnel;
  tries_ = 0;
  tried_.clear();
  last_fault_ = FaultClass::kNone;
  last_socks5_code_ = 0;
  answered_ = false;
  body_sent_ = false;
  response_head_done_ = false;
  request_deadline_ = loop_.NowMs() + shared.options.deadline_ms;
  replay_body_.clear();
  replayable_ = true;
  if (tunnel) {
    if (kept_) DropUpstream();
  } else {
    // A body that came whole with its head is kept, so another try can send it again.
    BodyFramer framer(request_.body);
    const std::size_t in_hand = framer.Consume(up_.Buffer().View());
    if (framer.Failed()) {
      RefuseClient(ErrorResponse(400, "malformed chunked body", FaultClass::kClient));
      return;
    }
    if (framer.Done()) {
      replay_body_ = std::string(up_.Buffer().View().substr(0, in_hand));
      Consume(in_hand);
      up_.StartMessage(BodyFramer());
    } else {
      replayable_ = false;
      up_.StartMessage(BodyFramer(request_.body));
    }
  }
  SetPhase(Phase::kTrying);
  StartTry();
}

void RelayConnection::StartTry() {
  RelayShared& shared = loop_.Shared();
  const int64_t now = loop_.NowMs();
  if (tries_ >= shared.options.max_tries || now >= request_deadline_)
    return FailRequest(last_fault_ == FaultClass::kNone ? FaultClass::kProxy : last_fault_);
  const PickQuery query{options_, client_key_, target_.kind == Target::Kind::kIpv6, tried_};
  const std::optional<Chosen> chosen = shared.selector.Pick(query, now);
  if (!chosen) return FailRequest(tries_ == 0 ? FaultClass::kNoProxy : last_fault_);
  if (tries_ > 0) shared.counters.Add(Name::kRetries);
  ++tries_;
  tried_.push_back(chosen->row);
  try_deadline_ = std::min(now + shared.options.try_timeout_ms, request_deadline_);
  handshake_ = UpstreamHandshake();
  // A kept connection serves a forwarded request to the same upstream (and, through a SOCKS
  // upstream, to the same target).
  const bool reuse =
      kept_ && chosen_ && chosen_->row == chosen->row && !tunnel_ &&
      (chosen->protocol == UpstreamProtocol::kHttp || SameTarget(kept_target_, target_));
  if (!reuse && kept_) DropUpstream();
  chosen_ = chosen;
  reused_ = reuse;
  if (reuse) {
    kept_ = false;
    return HandshakeDone();
  }
  if (!OpenUpstream(*chosen)) return TryFailed(FaultClass::kProxy);
  try_stage_ = TryStage::kConnecting;
}

bool RelayConnection::TryStep() {
  switch (try_stage_) {
    case TryStage::kConnecting:
      return Connecting();
    case TryStage::kHandshake:
      return Handshaking();
    case TryStage::kAwaitingAnswer:
      return AwaitingAnswer();
  }
  return false;
}

bool RelayConnection::Connecting() {
  if (!upstream_.writable) return false;
  if (ConnectOutcome(upstream_.fd) != 0) {
    TryFailed(FaultClass::kProxy);
    return true;
  }
  // Tunnels and SOCKS upstreams need a handshake; a forwarded request to an HTTP proxy goes
  // as it is.
  if (tunnel_ || chosen_->protocol != UpstreamProtocol::kHttp)
    handshake_ = UpstreamHandshake(chosen_->protocol, target_);
  to_upstream_ = handshake_.TakeOutput();
  if (handshake_.Done()) {
    HandshakeDone();
  } else {
    try_stage_ = TryStage::kHandshake;
  }
  return true;
}

bool RelayConnection::Handshaking() {
  const Flow flushed = FlushToUpstream();
  if (flushed == Flow::kFailed) return true;
  bool progress = flushed == Flow::kMoved;
  ByteBuffer& buffer = down_.Buffer();
  if (upstream_.readable) {
    const IoResult result = buffer.ReadFrom(upstream_);
    if (result.status == Io::kEnd || result.status == Io::kError) {
      TryFailed(FaultClass::kProxy);
      return true;
    }
    progress = progress || result.status == Io::kMoved;
  }
  if (buffer.Empty()) return progress;
  std::size_t used = 0;
  const UpstreamHandshake::Result result = handshake_.Feed(buffer.View(), used);
  buffer.Consume(used);
  switch (result) {
    case UpstreamHandshake::Result::kFailed:
      TryFailed(handshake_.Failure(), handshake_.Socks5Code());
      return true;
    case UpstreamHandshake::Result::kDone:
      HandshakeDone();
      return true;
    case UpstreamHandshake::Result::kNeedMore:
      break;
  }
  const std::string more = handshake_.TakeOutput();
  if (!more.empty() || used > 0) progress = true;
  to_upstream_ += more;
  if (buffer.Full()) {
    TryFailed(FaultClass::kProxy);
    return true;
  }
  return progress;
}

void RelayConnection::HandshakeDone() {
  if (!tunnel_) {
    to_upstream_ +=
        UpstreamRequestHead(request_, chosen_->protocol != UpstreamProtocol::kHttp) + replay_body_;
    try_stage_ = TryStage::kAwaitingAnswer;
    return;
  }
  loop_.Shared().selector.Succeeded(chosen_->row);
  answered_ = true;
  switch (kind_) {
    case ClientProtocol::kSocks5:
      Reply(Socks5ConnectReply(kSocks5Succeeded));
      break;
    case ClientProtocol::kSocks4:
      Reply(Socks4Reply(true));
      break;
    default:
      Reply("HTTP/1.1 200 Connection established\r\n\r\n");
      break;
  }
  EnterTunnel();
}

bool RelayConnection::AwaitingAnswer() {
  const Flow flushed = FlushToUpstream();
  if (flushed == Flow::kFailed) return true;
  bool progress = flushed == Flow::kMoved;
  if (to_upstream_.empty() && !(up_.MessageDone() && up_.Drained())) {
    const Flow pumped = Pump(Way::kUp);
    if (pumped == Flow::kFailed) return true;
    if (pumped == Flow::kMoved) {
      body_sent_ = true;
      progress = true;
    }
  }
  if (!upstream_.readable) return progress;
  const IoResult result = down_.Buffer().ReadFrom(upstream_);
  switch (result.status) {
    case Io::kMoved:
      // The answer's first byte: the upstream works.
      loop_.Shared().selector.Succeeded(chosen_->row);
      reused_ = false;
      SetPhase(Phase::kForwarding);
      Touch();
      return true;
    case Io::kWouldBlock:
      return progress;
    default:
      TryFailed(FaultClass::kProxy);
      return true;
  }
}

void RelayConnection::TryFailed(FaultClass fault, uint8_t socks5_code) {
  RelayShared& shared = loop_.Shared();
  if (reused_) {
    // A kept connection the upstream closed meanwhile is nobody's fault, and no try.
    --tries_;
    tried_.pop_back();
    reused_ = false;
  } else {
    Blame(fault);
    // A target's fault: the upstream answered, so it works.
    if (fault != FaultClass::kProxy) shared.selector.Succeeded(chosen_->row);
    last_fault_ = fault;
    last_socks5_code_ = socks5_code;
  }
  DropUpstream();
  if (CanRetry()) return StartTry();
  FailRequest(last_fault_ == FaultClass::kNone ? FaultClass::kProxy : last_fault_);
}

bool RelayConnection::CanRetry() const {
  const RotateOptions& options = loop_.Shared().options;
  return !answered_ && (replayable_ || !body_sent_) && tries_ < options.max_tries &&
         loop_.NowMs() < request_deadline_;
}

void RelayConnection::FailRequest(FaultClass fault) {
  if (fault == FaultClass::kNoProxy) CountFault(fault);
  DropUpstream();
  chosen_.reset();
  switch (kind_) {
    case ClientProtocol::kSocks5:
      Reply(Socks5ConnectReply(Socks5FailureCode(fault, last_socks5_code_)));
      break;
    case ClientProtocol::kSocks4:
      Reply(Socks4Reply(false));
      break;
    default:
      Reply(ErrorResponse(502, FailureText(fault), fault));
      break;
  }
  StartClosing();
}

void RelayConnection::Blame(FaultClass fault) {
  CountFault(fault);
  if (fault != FaultClass::kProxy || !chosen_) return;
  RelayShared& shared = loop_.Shared();
  shared.selector.Faulted(*chosen_, loop_.NowMs());
  shared.faulted.Add(chosen_->row);
}

// ---- Relaying.

void RelayConnection::EnterTunnel() {
  SetPhase(Phase::kTunnel);
  Touch();
  up_.StartMessage(BodyFramer::Tunnel());
  down_.StartMessage(BodyFramer::Tunnel());
}

RelayConnection::Flow RelayConnection::Pump(Way way) {
  const bool up = way == Way::kUp;
  const Direction::Outcome outcome =
      up ? up_.Pump(client_, upstream_, loop_.Pipes(), kPumpBudget)
         : down_.Pump(upstream_, client_, loop_.Pipes(), kPumpBudget);
  if (outcome.bytes > 0) {
    loop_.Shared().counters.Add(up ? Name::kBytesUp : Name::kBytesDown,
                                static_cast<int64_t>(outcome.bytes));
    Touch();
  }
  if (outcome.bytes >= kPumpBudget) more_ = true;
  if (outcome.fault != Direction::Fault::kNone) {
    DirectionFailed(outcome, way);
    return Flow::kFailed;
  }
  return outcome.moved ? Flow::kMoved : Flow::kIdle;
}

void RelayConnection::DirectionFailed(const Direction::Outcome& outcome, Way way) {
  // Up, the upstream is the sink; down, the source (and the framing is its).
  const bool upstream_side = way == Way::kUp ? outcome.fault == Direction::Fault::kSink
                                             : outcome.fault != Direction::Fault::kSink;
  if (upstream_side && phase_ == Phase::kTrying) return TryFailed(FaultClass::kProxy);
  if (upstream_side) {
    Blame(FaultClass::kProxy);
  } else {
    CountFault(FaultClass::kClient);
  }
  Close();
}

bool RelayConnection::TunnelStep() {
  const Flow flushed = FlushToClient();
  if (flushed == Flow::kFailed) return true;
  bool progress = flushed == Flow::kMoved;
  if (to_client_.empty()) {
    const Flow down = Pump(Way::kDown);
    if (down == Flow::kFailed) return true;
    progress = progress || down == Flow::kMoved;
  }
  const Flow up = Pump(Way::kUp);
  if (up == Flow::kFailed) return true;
  progress = progress || up == Flow::kMoved;
  if (up_.ShouldShutSink()) ::shutdown(upstream_.fd, SHUT_WR);
  if (to_client_.empty() && down_.ShouldShutSink()) ::shutdown(client_.fd, SHUT_WR);
  if (up_.SourceEnded() && down_.SourceEnded() && up_.Drained() && down_.Drained() &&
      to_client_.empty()) {
    Close();
    return false;
  }
  return progress;
}

bool RelayConnection::ForwardStep() {
  const Flow flushed = FlushToUpstream();
  if (flushed == Flow::kFailed) return true;
  bool progress = flushed == Flow::kMoved;
  // The rest of the request's body goes on while its answer comes.
  if (to_upstream_.empty() && !(up_.MessageDone() && up_.Drained())) {
    const Flow pumped = Pump(Way::kUp);
    if (pumped == Flow::kFailed) return true;
    progress = progress || pumped == Flow::kMoved;
    if (up_.FramingFailed()) {
      CountFault(FaultClass::kClient);  // the client ended in the middle of its body
      Close();
      return false;
    }
  }
  return (response_head_done_ ? ResponseBody() : ResponseHead()) || progress;
}

void RelayConnection::UpstreamBrokeAnswer() {
  Blame(FaultClass::kProxy);
  if (answered_) return Close();
  Reply(ErrorResponse(502, "the upstream proxy broke off its answer", FaultClass::kProxy));
  StartClosing();
}

bool RelayConnection::ResponseHead() {
  ByteBuffer& buffer = down_.Buffer();
  bool progress = false;
  if (upstream_.readable && !buffer.Full() && !down_.SourceEnded()) {
    const IoResult result = buffer.ReadFrom(upstream_);
    if (result.status == Io::kMoved) {
      Touch();
      progress = true;
    } else if (result.status == Io::kEnd) {
      down_.MarkSourceEnded();  // a whole answer may have come before it
      progress = true;
    } else {
      UpstreamBrokeAnswer();
      return true;
    }
  }
  const std::size_t length = HeadLength(buffer.View().substr(0, kMostHeadBytes));
  if (length == 0) {
    if (buffer.Size() < kMostHeadBytes && !down_.SourceEnded()) return progress;
    UpstreamBrokeAnswer();
    return true;
  }
  const std::optional<ResponseInfo> info =
      ParseResponseHead(buffer.View().substr(0, length), request_.method == "HEAD");
  if (!info) {
    UpstreamBrokeAnswer();
    return true;
  }
  const std::string head(buffer.View().substr(0, length));
  buffer.Consume(length);
  answered_ = true;
  if (info->status == 101) {
    // Switched to another protocol: from here on, bytes both ways.
    Reply(head);
    EnterTunnel();
    return true;
  }
  if (info->status < 200) {
    Reply(head);  // 100 Continue and its kind; the final head follows
    return true;
  }
  response_ = *info;
  close_after_ = !request_.keep_alive || info->body.kind == BodyKind::kUntilClose;
  Reply(ClientResponseHead(head, *info, close_after_));
  down_.StartMessage(BodyFramer(info->body));
  // What of the body came with the head leaves with it: one write, one wake-up for the client.
  down_.MovePassableTo(to_client_);
  response_head_done_ = true;
  return true;
}

bool RelayConnection::ResponseBody() {
  const Flow flushed = FlushToClient();
  if (flushed == Flow::kFailed) return true;
  bool progress = flushed == Flow::kMoved;
  if (!to_client_.empty()) return progress;
  const Flow pumped = Pump(Way::kDown);
  if (pumped == Flow::kFailed) return true;
  progress = progress || pumped == Flow::kMoved;
  if (down_.FramingFailed()) {
    // The upstream ended before the body did.
    Blame(FaultClass::kProxy);
    Close();
    return false;
  }
  if (down_.MessageDone() && down_.Drained()) {
    ResponseComplete();
    return true;
  }
  return progress;
}

void RelayConnection::ResponseComplete() {
  const bool request_done = up_.MessageDone() && up_.Drained() && to_upstream_.empty();
  if (close_after_ || !request_done || down_.SourceEnded()) return StartClosing();
  // The client keeps the connection for its next request; the upstream's connection is kept
  // too when it can serve another one.
  if (response_.keep_alive && down_.Buffer().Empty()) {
    kept_ = true;
    kept_target_ = target_;
  } else {
    DropUpstream();
  }
  first_request_ = false;
  SetPhase(Phase::kHttpHead);
  phase_started_ = loop_.NowMs();
}

// ---- Our own bytes.

RelayConnection::Flow RelayConnection::FlushToClient() {
  if (to_client_.empty() || !client_.writable) return Flow::kIdle;
  const IoResult result = SendTo(client_, to_client_.data(), to_client_.size());
  switch (result.status) {
    case Io::kMoved:
      to_client_.erase(0, result.bytes);
      Touch();
      return Flow::kMoved;
    case Io::kWouldBlock:
      return Flow::kIdle;
    default:
      CountFault(FaultClass::kClient);
      Close();
      return Flow::kFailed;
  }
}

RelayConnection::Flow RelayConnection::FlushToUpstream() {
  if (to_upstream_.empty() || !upstream_.writable) return Flow::kIdle;
  const IoResult result = SendTo(upstream_, to_upstream_.data(), to_upstream_.size());
  switch (result.status) {
    case Io::kMoved:
      to_upstream_.erase(0, result.bytes);
      return Flow::kMoved;
    case Io::kWouldBlock:
      return Flow::kIdle;
    default:
      if (phase_ == Phase::kTrying) {
        TryFailed(FaultClass::kProxy);
      } else {
        Blame(FaultClass::kProxy);
        Close();
      }
      return Flow::kFailed;
  }
}

void RelayConnection::Reply(const std::string& bytes) { to_client_ += bytes; }

void RelayConnection::RefuseClient(const std::string& reply) {
  CountFault(FaultClass::kClient);
  Reply(reply);
  StartClosing();
}

void RelayConnection::StartClosing() {
  DropUpstream();
  SetPhase(Phase::kClosing);
  phase_started_ = loop_.NowMs();
}

bool RelayConnection::ClosingStep() {
  const Flow flushed = FlushToClient();
  if (flushed == Flow::kFailed) return false;
  if (!to_client_.empty()) return flushed == Flow::kMoved;
  if (!closing_shut_) {
    closing_shut_ = true;
    ::shutdown(client_.fd, SHUT_WR);
  }
  // What the client still sends is read and dropped until it closes too, so that closing
  // with unread bytes does not reset the connection under our last words.
  if (!client_.readable) return false;
  char scrap[4096];
  const IoResult result = ReadFrom(client_, scrap, sizeof(scrap));
  if (result.status == Io::kMoved) return true;
  if (result.status == Io::kWouldBlock) return false;
  Close();
  return false;
}

// ---- Sockets.

bool RelayConnection::OpenUpstream(const Chosen& chosen) {
  int error = 0;
  const int fd = StartConnect(chosen.ip, chosen.port, error);
  if (fd < 0) return false;
  upstream_ = Endpoint{fd, false, false};
  ++upstream_generation_;
  if (!loop_.Watch(*this, fd, true, upstream_generation_)) {
    DropUpstream();
    return false;
  }
  return true;
}

void RelayConnection::DropUpstream() {
  if (upstream_.fd >= 0) ::close(upstream_.fd);
  upstream_ = Endpoint{};
  kept_ = false;
  down_.Discard(loop_.Pipes());
  down_ = Direction();
  to_upstream_.clear();
}

void RelayConnection::Close() {
  if (finished_) return;
  finished_ = true;
  RelayShared& shared = loop_.Shared();
  if (phase_ == Phase::kTrying && chosen_) shared.selector.Released(*chosen_);
  DropUpstream();
  up_.Discard(loop_.Pipes());
  if (client_.fd >= 0) ::close(client_.fd);
  client_.fd = -1;
  shared.open.fetch_sub(1, std::memory_order_relaxed);
  shared.counters.Add(Name::kConnectionsOpen, -1);
  loop_.Closed(*this);
}

}  // namespace ph
