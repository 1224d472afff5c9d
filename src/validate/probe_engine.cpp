#include "validate/probe_engine.h"

#include "core/gbk.h"
#include "validate/probe.h"
#include "validate/result_record.h"

#include <curl/curl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace ph {
namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// How often deadlines and stopped runs are looked at: a stop is seen within this.
constexpr Ms kSweep{50};
// A test page is kilobytes; a peer that streams without end must not take memory without end.
constexpr std::size_t kMostBodyBytes = 1024 * 1024;
// A non-positive time-out means no limit of the user's; this still ends a dead peer.
constexpr long kUnlimitedWaitMs = 300000;
// After this machine ran short, no new probe starts before this much time has passed.
constexpr Ms kLocalFaultPause{50};
// Without local faults for this long, the engine probes more at once again.
constexpr Ms kRecoverAfter{1000};
constexpr int kMostEvents = 256;

long long MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<Ms>(to - from).count();
}

// Errors that say this machine ran short, not that the proxy is dead.
bool LocalShortage(int error_number) {
  switch (error_number) {
    case EMFILE:
    case ENFILE:
    case EADDRNOTAVAIL:
    case ENOBUFS:
    case ENOMEM:
      return true;
    default:
      return false;
  }
}

struct Transfer;

// The sockets of one engine thread: which its epoll set watches, and which probe's transfer
// each belongs to. libcurl may close a socket after its probe is gone (a connection can
// outlive its transfer) and may still speak of a socket it has closed, when its number may
// already belong to a socket another thread has opened: a number this thread closed is left
// alone until this thread opens it again.
class WatchedSockets {
 public:
  explicit WatchedSockets(int epoll_fd) : epoll_fd_(epoll_fd) {}
  void Opened(curl_socket_t socket, Transfer* owner);
  // Watches the socket for these events, or changes what it is watched for.
  void Watch(curl_socket_t socket, uint32_t events) {
    if (closed_.contains(socket)) return;
    epoll_event event{};
    event.events = events;
    event.data.fd = socket;
    const bool added = watched_.insert(socket).second;
    epoll_ctl(epoll_fd_, added ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, socket, &event);
  }
  void Forget(curl_socket_t socket) {
    if (watched_.erase(socket) > 0) epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, socket, nullptr);
  }
  // Right before the socket is closed: the transfer it belongs to, if that is still there.
  Transfer* Closing(curl_socket_t socket);
  // The transfer goes away: a later close of its sockets finds none.
  void Detach(Transfer& owner);

 private:
  const int epoll_fd_;
  std::unordered_set<curl_socket_t> watched_;
  std::unordered_set<curl_socket_t> closed_;
  std::unordered_map<curl_socket_t, Transfer*> owners_;
};

// What one request of a probe has received so far, and when.
struct Transfer {
  WatchedSockets* watched = nullptr;   // its thread's
  std::vector<curl_socket_t> sockets;  // opened for it
  std::string body;
  Clock::time_point last_activity;
  Clock::time_point connected_at;
  bool connected = false;  // the connection and any proxy tunnel stand
  bool reached = false;    // a connection to the proxy (or the host) stood at some point
  bool abandoned = false;  // stopped: its connection is reset rather than closed in turn
  int local_errno = 0;     // why this machine could not open a socket
  std::array<char, CURL_ERROR_SIZE> error{};
};

void WatchedSockets::Opened(curl_socket_t socket, Transfer* owner) {
  closed_.erase(socket);
  owners_[socket] = owner;
  owner->sockets.push_back(socket);
}

Transfer* WatchedSockets::Closing(curl_socket_t socket) {
  Forget(socket);
  closed_.insert(socket);
  const auto owner = owners_.find(socket);
  if (owner == owners_.end()) return nullptr;
  Transfer* transfer = owner->second;
  owners_.erase(owner);
  return transfer;
}

void WatchedSockets::Detach(Transfer& owner) {
  for (const curl_socket_t socket : owner.sockets) {
    const auto found = owners_.find(socket);
    if (found != owners_.end() && found->second == &owner) owners_.erase(found);
  }
  owner.sockets.clear();
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  transfer->last_activity = Clock::now();
  if (transfer->body.size() + bytes > kMostBodyBytes) return 0;
  transfer->body.append(data, bytes);
  return bytes;
}

std::size_t OnHeader(char*, std::size_t size, std::size_t count, void* user) {
  static_cast<Transfer*>(user)->last_activity = Clock::now();
  return size * count;
}

// Called once the connection (and any proxy tunnel) stands, right before the request goes out.
int OnConnected(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->last_activity = Clock::now();
  // A redirect connects again; the whole answer still counts from the first connection.
  if (!transfer->connected) transfer->connected_at = transfer->last_activity;
  transfer->connected = true;
  return CURL_PREREQFUNC_OK;
}

curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  auto* transfer = static_cast<Transfer*>(user);
  const int fd = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd < 0) {
    transfer->local_errno = errno;
    return CURL_SOCKET_BAD;
  }
  if (transfer->watched != nullptr) transfer->watched->Opened(fd, transfer);
  return fd;
}

// A socket that has a peer when it closes was connected: what failed came after.
int OnCloseSocket(void* user, curl_socket_t socket) {
  Transfer* transfer = static_cast<WatchedSockets*>(user)->Closing(socket);
  if (transfer == nullptr || transfer->abandoned) {
    // Thousands of probes end at once on a stop: a reset spares both ends the closing
    // handshake.
    const linger reset{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    return close(socket);
  }
  // Whether a failed connection had stood matters only for one that never carried a request.
  if (!transfer->connected) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    transfer->reached = getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
  }
  return close(socket);
}

std::string TimedOutText(long long elapsed_ms, std::size_t bytes, const char* what) {
  std::array<char, 128> text{};
  std::snprintf(text.data(), text.size(),
                "Operation timed out after %lld milliseconds %s with %zu bytes received",
                elapsed_ms, what, bytes);
  return text.data();
}

// The body as a page, decoded by the charset the answer declares.
QString PageOf(CURL* handle, const std::string& body) {
  const char* content_type = nullptr;
  curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &content_type);
  return DecodeDeclaredCharset(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())),
                               QByteArrayView(content_type != nullptr ? content_type : ""));
}

// One probe under way: the entry, what its pages have shown so far, and its current request.
struct Probe {
  enum class Kind { kProxy, kJudgeDirect };

  Kind kind = Kind::kProxy;
  std::shared_ptr<RunState> run;
  ProbeJob job;
  ProbePlan plan;
  int leg = 0;  // the page under way; plan.count is the judge's page through the proxy
  bool uses_proxy = false;
  long limit_ms = kUnlimitedWaitMs;
  ProbeOutcome outcome;
  Clock::time_point started;
  CURL* handle = nullptr;
  Transfer transfer;
};

}  // namespace

// One thread of the engine: a libcurl multi handle whose sockets an epoll set watches.
class EngineThread {
 public:
  EngineThread(ProbeEngine& engine, bool recovers);
  ~EngineThread();
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  // Starts the thread, once every thread of the engine is made.
  void Start();
  void Wake();
  void StopAndJoin();

 private:
  void Loop();
  void HandleSockets(int events_ready, const std::array<epoll_event, kMostEvents>& events);
  void Refill(Clock::time_point now);
  void StartProxyProbe(ProbeEngine::Queued queued);
  void AskJudgeDirectly(const std::shared_ptr<RunState>& run);
  bool BeginRequest(Probe& probe, const QByteArray& url);
  void TakeFinished();
  void OnRequestDone(Probe& probe, CURLcode code);
  void OnPageDone(Probe& probe);
  void FailProbe(Probe& probe, FailurePhase phase, const std::string& detail, long number);
  void Sweep(Clock::time_point now);
  void TimeOut(Probe& probe, Clock::time_point now);
  void Finish(Probe& probe);
  void Forget(Probe& probe);
  CURL* TakeHandle();

  static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* user, void* known);
  static int OnTimer(CURLM* multi, long timeout_ms, void* user);

  ProbeEngine& engine_;
  const bool recovers_;  // the one thread that raises the engine's cap again
  CURLM* multi_ = nullptr;
  int epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  int wake_fd_ = -1;
  WatchedSockets watched_{epoll_fd_};
  std::optional<Clock::time_point> curl_due_;
  Clock::time_point next_sweep_;
  Clock::time_point refill_after_;
  std::unordered_map<CURL*, std::unique_ptr<Probe>> probes_;
  std::shared_ptr<const ProbeSettings> planned_for_;
  ProbePlan plan_;
  std::vector<CURL*> spare_handles_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

EngineThread::EngineThread(ProbeEngine& engine, bool recovers)
    : engine_(engine), recovers_(recovers) {
  multi_ = curl_multi_init();
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.fd = wake_fd_;
  epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &wake);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &EngineThread::OnSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &EngineThread::OnTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
}

void EngineThread::Start() {
  thread_ = std::thread([this] { Loop(); });
}

EngineThread::~EngineThread() {
  StopAndJoin();
  for (auto& [handle, probe] : probes_) {
    curl_multi_remove_handle(multi_, handle);
    curl_easy_cleanup(handle);
    if (probe->kind == Probe::Kind::kProxy) --probe->run->pending;  // it ends unwritten
  }
  for (CURL* handle : spare_handles_) curl_easy_cleanup(handle);
  curl_multi_cleanup(multi_);
  close(wake_fd_);
  close(epoll_fd_);
}

void EngineThread::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
}

void EngineThread::StopAndJoin() {
  stopping_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
}

int EngineThread::OnSocket(CURL*, curl_socket_t socket, int what, void* user, void*) {
  auto* self = static_cast<EngineThread*>(user);
  if (what == CURL_POLL_REMOVE) {
    self->watched_.Forget(socket);
    return 0;
  }
  uint32_t events = 0;
  if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= EPOLLIN;
  if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= EPOLLOUT;
  self->watched_.Watch(socket, events);
  return 0;
}

int EngineThread::OnTimer(CURLM*, long timeout_ms, void* user) {
  auto* self = static_cast<EngineThread*>(user);
  if (timeout_ms < 0) {
    self->curl_due_.reset();
  } else {
    self->curl_due_ = Clock::now() + Ms(timeout_ms);
  }
  return 0;
}

void EngineThread::Loop() {
  std::array<epoll_event, kMostEvents> events{};
  next_sweep_ = Clock::now() + kSweep;
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    Clock::time_point due = next_sweep_;
    if (curl_due_) due = std::min(due, *curl_due_);
    const long long wait = std::max<long long>(MsBetween(now, due), 0);
    const int ready = epoll_wait(epoll_fd_, events.data(), kMostEvents, static_cast<int>(wait));
    if (stopping_) break;
    HandleSockets(std::max(ready, 0), events);
    if (curl_due_ && Clock::now() >= *curl_due_) {
      curl_due_.reset();
      int running = 0;
      curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    }
    TakeFinished();
    if (Clock::now() >= next_sweep_) {
      Sweep(Clock::now());
      next_sweep_ = Clock::now() + kSweep;
    }
    Refill(Clock::now());
  }
}

void EngineThread::HandleSockets(int events_ready,
                                 const std::array<epoll_event, kMostEvents>& events) {
  for (int i = 0; i < events_ready; ++i) {
    const epoll_event& event = events[static_cast<std::size_t>(i)];
    if (event.data.fd == wake_fd_) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t read_bytes = read(wake_fd_, &count, sizeof count);
      // Whatever woke the thread (new entries, a stop) is looked at now.
      next_sweep_ = Clock::now();
      continue;
    }
    int action = 0;
    if ((event.events & EPOLLIN) != 0) action |= CURL_CSELECT_IN;
    if ((event.events & EPOLLOUT) != 0) action |= CURL_CSELECT_OUT;
    if ((event.events & (EPOLLERR | EPOLLHUP)) != 0) action |= CURL_CSELECT_ERR;
    int running = 0;
    curl_multi_socket_action(multi_, event.data.fd, action, &running);
  }
}

void EngineThread::Refill(Clock::time_point now) {
  if (now < refill_after_) return;
  const int room = engine_.ThreadShare() - static_cast<int>(probes_.size());
  if (room <= 0) return;
  ProbeEngine::Taken taken = engine_.Take(room);
  if (taken.ask_judge) AskJudgeDirectly(taken.ask_judge);
  for (ProbeEngine::Queued& queued : taken.entries) StartProxyProbe(std::move(queued));
}

CURL* EngineThread::TakeHandle() {
  if (spare_handles_.empty()) return curl_easy_init();
  CURL* handle = spare_handles_.back();
  spare_handles_.pop_back();
  curl_easy_reset(handle);
  return handle;
}

void EngineThread::StartProxyProbe(ProbeEngine::Queued queued) {
  auto probe = std::make_unique<Probe>();
  probe->run = std::move(queued.run);
  probe->job = std::move(queued.job);
  const std::shared_ptr<const ProbeSettings> settings = probe->run->settings->Get();
  // The plan changes only with the settings: made once per snapshot, not once per probe.
  if (settings != planned_for_) {
    planned_for_ = settings;
    plan_ = PlanProbe(*settings);
  }
  probe->plan = plan_;
  probe->limit_ms = settings->timeout_ms > 0 ? settings->timeout_ms : kUnlimitedWaitMs;
  probe->uses_proxy = probe->job.address.contains(u':');
  probe->started = Clock::now();
  Probe& started = *probe;
  if (started.plan.count == 0) {
    started.outcome.failed = true;
    started.outcome.error = "no test selected";
    started.outcome.error_number = -1;
    ++engine_.in_flight_;
    Finish(started);
    return;
  }
  ++engine_.in_flight_;
  started.handle = TakeHandle();
  if (started.handle == nullptr) {
    FailProbe(started, FailurePhase::kOther, "curl_easy_init failed", CURLE_FAILED_INIT);
    return;
  }
  probes_.emplace(started.handle, std::move(probe));
  if (!SetUpProbeHandle(started.handle, started.job.address)) {
    FailProbe(started, FailurePhase::kOther, "a request option was refused", CURLE_UNKNOWN_OPTION);
    return;
  }
  BeginRequest(started, started.plan.legs[0].url);
}

void EngineThread::AskJudgeDirectly(const std::shared_ptr<RunState>& run) {
  auto probe = std::make_unique<Probe>();
  probe->kind = Probe::Kind::kJudgeDirect;
  probe->run = run;
  const std::shared_ptr<const ProbeSettings> settings = run->settings->Get();
  probe->limit_ms = settings->timeout_ms > 0 ? settings->timeout_ms : kUnlimitedWaitMs;
  probe->started = Clock::now();
  probe->handle = TakeHandle();
  Probe& asking = *probe;
  if (asking.handle == nullptr || !SetUpDirectHandle(asking.handle)) {
    if (asking.handle != nullptr) spare_handles_.push_back(asking.handle);
    run->judge->TakeDirectAnswer(std::nullopt);
    engine_.WakeAll();
    return;
  }
  ++engine_.in_flight_;
  probes_.emplace(asking.handle, std::move(probe));
  BeginRequest(asking, run->judge->Url());
}

bool EngineThread::BeginRequest(Probe& probe, const QByteArray& url) {
  watched_.Detach(probe.transfer);
  probe.transfer = Transfer{};
  probe.transfer.watched = &watched_;
  CURL* handle = probe.handle;
  curl_easy_setopt(handle, CURLOPT_URL, url.constData());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, probe.limit_ms);
  // The sweep enforces the limits after the connection; this only ends what slips past it.
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, 3 * probe.limit_ms + 1000);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, probe.transfer.error.data());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &probe.transfer);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &probe.transfer);
  curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &OnConnected);
  curl_easy_setopt(handle, CURLOPT_PREREQDATA, &probe.transfer);
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, &OnOpenSocket);
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, &probe.transfer);
  curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, &OnCloseSocket);
  // A connection keeps this for its sockets' close, also past its transfer.
  curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, &watched_);
  if (curl_multi_add_handle(multi_, handle) != CURLM_OK) {
    FailProbe(probe, FailurePhase::kOther, "curl_multi_add_handle failed", CURLE_OUT_OF_MEMORY);
    return false;
  }
  return true;
}

void EngineThread::TakeFinished() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    const auto it = probes_.find(message->easy_handle);
    const CURLcode code = message->data.result;
    curl_multi_remove_handle(multi_, message->easy_handle);
    if (it != probes_.end()) OnRequestDone(*it->second, code);
  }
}

void EngineThread::OnRequestDone(Probe& probe, CURLcode code) {
  long os_errno = 0;
  curl_easy_getinfo(probe.handle, CURLINFO_OS_ERRNO, &os_errno);
  const bool short_here =
      probe.transfer.local_errno != 0 || code == CURLE_OUT_OF_MEMORY ||
      (code == CURLE_COULDNT_CONNECT && LocalShortage(static_cast<int>(os_errno)));
  if (code != CURLE_OK && short_here && probe.kind == Probe::Kind::kProxy) {
    // Not the proxy's fault: the entry is probed again, later, with fewer probes at once.
    engine_.PutBack({probe.run, probe.job});
    engine_.BackOff(static_cast<int>(probes_.size()));
    refill_after_ = Clock::now() + kLocalFaultPause;
    Forget(probe);
    return;
  }
  if (probe.kind == Probe::Kind::kJudgeDirect) {
    long status = 0;
    curl_easy_getinfo(probe.handle, CURLINFO_RESPONSE_CODE, &status);
    std::optional<QByteArray> answer;
    if (code == CURLE_OK && status >= 200 && status <= 299)
      answer = PageOf(probe.handle, probe.transfer.body).toUtf8();
    probe.run->judge->TakeDirectAnswer(answer);
    Forget(probe);
    engine_.WakeAll();  // the run's entries may start now
    return;
  }
  if (probe.leg == probe.plan.count) {
    // The judge's page through a proxy that passed: its level, or none; never a failure.
    long status = 0;
    curl_easy_getinfo(probe.handle, CURLINFO_RESPONSE_CODE, &status);
    std::optional<QByteArray> echo;
    if (code == CURLE_OK && status >= 200 && status <= 299)
      echo = PageOf(probe.handle, probe.transfer.body).toUtf8();
    probe.outcome.anonymity = probe.run->judge->LevelFrom(echo);
    Finish(probe);
    return;
  }
  if (code == CURLE_OK) {
    OnPageDone(probe);
    return;
  }
  const std::string detail =
      probe.transfer.error[0] != '\0' ? probe.transfer.error.data() : curl_easy_strerror(code);
  FailurePhase phase = FailurePhase::kOther;
  if (code == CURLE_WRITE_ERROR) {
    phase = FailurePhase::kWrongAnswer;  // an answer far larger than any test page
  } else if (probe.transfer.connected) {
    phase = FailurePhase::kNoAnswer;
  } else if (code == CURLE_COULDNT_CONNECT && os_errno == ECONNREFUSED) {
    phase = FailurePhase::kRefused;
  } else if (code == CURLE_OPERATION_TIMEDOUT) {
    phase = probe.uses_proxy && probe.transfer.reached ? FailurePhase::kHandshake
                                                       : FailurePhase::kConnectTimeout;
  } else if (probe.uses_proxy && code != CURLE_COULDNT_CONNECT) {
    phase = FailurePhase::kHandshake;
  }
  FailProbe(probe, phase, detail, code);
}

void EngineThread::OnPageDone(Probe& probe) {
  const ProbeLeg& leg = probe.plan.legs[static_cast<std::size_t>(probe.leg)];
  probe.outcome.*leg.done = true;
  probe.outcome.suc = MatchPosition(PageOf(probe.handle, probe.transfer.body), leg.match);
  curl_easy_getinfo(probe.handle, CURLINFO_RESPONSE_CODE, &probe.outcome.status);
  if (++probe.leg < probe.plan.count) {
    BeginRequest(probe, probe.plan.legs[static_cast<std::size_t>(probe.leg)].url);
    return;
  }
  probe.outcome.elapsed_ms = static_cast<long>(MsBetween(probe.started, Clock::now()));
  if (probe.outcome.suc == 0)
    probe.outcome.error = std::string(FailurePhaseText(FailurePhase::kWrongAnswer)) + ": HTTP " +
                          std::to_string(probe.outcome.status);
  // Only a proxy that passed is worth judging; the judge's time is not the proxy's time.
  const std::shared_ptr<AnonymityJudge>& judge = probe.run->judge;
  if (judge && judge->CanJudge() && probe.outcome.suc > 0) {
    BeginRequest(probe, judge->Url());
    return;
  }
  Finish(probe);
}

void EngineThread::FailProbe(Probe& probe, FailurePhase phase, const std::string& detail,
                             long number) {
  if (probe.kind == Probe::Kind::kJudgeDirect) {
    probe.run->judge->TakeDirectAnswer(std::nullopt);
    Forget(probe);
    engine_.WakeAll();
    return;
  }
  if (probe.leg == probe.plan.count) {  // the judge's page: no level, the probe stands
    Finish(probe);
    return;
  }
  probe.outcome.elapsed_ms = static_cast<long>(MsBetween(probe.started, Clock::now()));
  probe.outcome.failed = true;
  probe.outcome.error = std::string(FailurePhaseText(phase)) + ": " + detail;
  probe.outcome.error_number = number;
  Finish(probe);
}

void EngineThread::Sweep(Clock::time_point now) {
  if (recovers_) engine_.Recover(now);
  std::vector<Probe*> due;
  for (auto& [handle, probe] : probes_) {
    if (!probe->run->test_running) {
      due.push_back(probe.get());
      continue;
    }
    const Transfer& transfer = probe->transfer;
    if (!transfer.connected) continue;
    if (MsBetween(transfer.last_activity, now) >= probe->limit_ms ||
        MsBetween(transfer.connected_at, now) >= 2 * probe->limit_ms)
      due.push_back(probe.get());
  }
  for (Probe* probe : due) {
    probe->transfer.abandoned = !probe->run->test_running;
    curl_multi_remove_handle(multi_, probe->handle);
    if (!probe->run->test_running) {
      // Stopped: the probe found nothing out, and nothing is written for it.
      if (probe->kind == Probe::Kind::kProxy) --probe->run->pending;
      Forget(*probe);
    } else {
      TimeOut(*probe, now);
    }
  }
}

void EngineThread::TimeOut(Probe& probe, Clock::time_point now) {
  const Transfer& transfer = probe.transfer;
  const long long idle_ms = MsBetween(transfer.last_activity, now);
  const long long answering_ms = MsBetween(transfer.connected_at, now);
  FailProbe(probe, FailurePhase::kNoAnswer,
            TimedOutText(answering_ms, transfer.body.size(),
                         idle_ms >= probe.limit_ms ? "without data" : "for the whole answer"),
            CURLE_OPERATION_TIMEDOUT);
}

void EngineThread::Finish(Probe& probe) {
  RunState& run = *probe.run;
  run.results.Append(WriteResultRecord(static_cast<int64_t>(probe.job.id), probe.outcome));
  ++run.validated_count;
  --run.pending;
  Forget(probe);
}

void EngineThread::Forget(Probe& probe) {
  --engine_.in_flight_;
  CURL* handle = probe.handle;
  if (handle == nullptr) return;  // never started a request; its Probe is a local
  // The probe's transfer goes with it: nothing may call back into it any more.
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
  watched_.Detach(probe.transfer);
  spare_handles_.push_back(handle);
  probes_.erase(handle);  // destroys the probe
}

ProbeEngine::ProbeEngine(int threads) {
  cap_ = concurrency_.load();
  const int count = std::max(threads, 1);
  threads_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) threads_.push_back(std::make_unique<EngineThread>(*this, i == 0));
  // The threads read the list of threads: it is whole before the first one runs.
  for (auto& thread : threads_) thread->Start();
}

ProbeEngine::~ProbeEngine() { Shutdown(); }

void ProbeEngine::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (shut_down_) return;
    shut_down_ = true;
    for (Queued& queued : queue_) --queued.run->pending;
    queue_.clear();
  }
  for (auto& thread : threads_) thread->StopAndJoin();
  threads_.clear();
  in_flight_ = 0;
}

void ProbeEngine::Add(const std::shared_ptr<RunState>& run, std::vector<ProbeJob> jobs) {
  {
    std::lock_guard lock(mutex_);
    if (shut_down_) return;
    run->pending += static_cast<int32_t>(jobs.size());
    for (ProbeJob& job : jobs) queue_.push_back({run, std::move(job)});
  }
  WakeAll();
}

void ProbeEngine::DropStopped() {
  {
    std::lock_guard lock(mutex_);
    std::erase_if(queue_, [](const Queued& queued) {
      if (queued.run->test_running) return false;
      --queued.run->pending;
      return true;
    });
  }
  WakeAll();
}

void ProbeEngine::SetConcurrency(int probes) {
  concurrency_ = std::max(probes, 1);
  cap_ = concurrency_.load();
  WakeAll();
}

ProbeEngine::Taken ProbeEngine::Take(int most) {
  Taken taken;
  std::lock_guard lock(mutex_);
  while (!queue_.empty() && static_cast<int>(taken.entries.size()) < most) {
    Queued& front = queue_.front();
    if (!front.run->test_running) {
      --front.run->pending;
      queue_.pop_front();
      continue;
    }
    const std::shared_ptr<AnonymityJudge>& judge = front.run->judge;
    if (judge && !judge->Answered()) {
      // The run's probes wait for the judge's direct answer; one thread asks for it.
      if (judge->StartAsking()) taken.ask_judge = front.run;
      break;
    }
    taken.entries.push_back(std::move(front));
    queue_.pop_front();
  }
  return taken;
}

void ProbeEngine::PutBack(Queued queued) {
  ++local_faults_;
  last_local_fault_ = Clock::now().time_since_epoch().count();
  std::lock_guard lock(mutex_);
  queue_.push_front(std::move(queued));
}

void ProbeEngine::BackOff(int thread_in_flight) {
  const int threads = static_cast<int>(threads_.size());
  const int lowered = std::max(1, thread_in_flight * threads * 3 / 4);
  int current = cap_;
  while (lowered < current && !cap_.compare_exchange_weak(current, lowered)) {
  }
}

void ProbeEngine::Recover(Clock::time_point now) {
  const int current = cap_;
  if (current >= concurrency_) return;
  const Clock::time_point last{Clock::duration(last_local_fault_.load())};
  if (now - last < kRecoverAfter) return;
  cap_ = std::min<int>(concurrency_, current + std::max(1, current / 10));
}

int ProbeEngine::ThreadShare() const {
  const int threads = std::max<int>(static_cast<int>(threads_.size()), 1);
  const int allowed = std::min(concurrency_.load(), cap_.load());
  return (allowed + threads - 1) / threads;
}

void ProbeEngine::WakeAll() {
  for (auto& thread : threads_) thread->Wake();
}

}  // namespace ph
