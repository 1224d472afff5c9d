#include "validate/probe_engine.h"

#include "core/failure_phase.h"
#include "support/http_fixtures.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"
#include "validate/result_record.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <map>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// How soon a stop must have ended every probe; sanitizers slow every call down many times.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kStopBoundMs = 10000;
#else
constexpr int kStopBoundMs = 1000;
#endif

// A port whose accept queue is full and never drained: the kernel drops further SYNs, so a
// connection to it neither succeeds nor is refused.
class FullBacklog {
 public:
  FullBacklog() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 0);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    // One connection fills a queue of length 0.
    filler_ = test::ConnectLoopback(port_);
  }
  ~FullBacklog() {
    close(filler_);
    close(listener_);
  }
  QString Address() const { return u"127.0.0.1:%1"_s.arg(port_); }

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  int filler_ = -1;
};

// A farm of live proxies in a child process, so that the descriptors it accepts with are not
// this process's: here a lowered descriptor limit hits only the probes.
class FarmProcess {
 public:
  explicit FarmProcess(int proxies) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(pipe_fds[0]);
      test::ProxyFarm farm;
      std::string list;
      for (const std::string& address : farm.Add({"ok [1.2.3.4]", 0, false}, proxies))
        list += address + '\n';
      farm.Start();
      list += '\n';
      const bool told =
          write(pipe_fds[1], list.data(), list.size()) == static_cast<ssize_t>(list.size());
      // Serves until the parent ends it.
      while (told) pause();
      _exit(0);
    }
    close(pipe_fds[1]);
    std::string text;
    char buffer[4096];
    while (text.find("\n\n") == std::string::npos) {
      const ssize_t got = read(pipe_fds[0], buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipe_fds[0]);
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos && end > at;
         at = end + 1)
      addresses_.push_back(QString::fromStdString(text.substr(at, end - at)));
  }
  ~FarmProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  const std::vector<QString>& Addresses() const { return addresses_; }

 private:
  pid_t pid_ = -1;
  std::vector<QString> addresses_;
};

// The highest descriptor this process has open.
int HighestDescriptor() {
  int highest = 2;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(dir))
      highest = std::max(highest, std::atoi(entry->d_name));
    closedir(dir);
  }
  return highest;
}

// What a record says about a proxy, its times and the words of libcurl's messages aside.
struct Verdict {
  std::string suc, statu, http, https, errnum;
  FailurePhase phase;
  bool operator==(const Verdict&) const = default;
};

Verdict VerdictOf(std::string_view record) {
  auto field = [&](std::string_view key) { return std::string(RecordField(record, key)); };
  return {field("suc="),   field("statu="),  field("http="),
          field("https="), field("errnum="), PhaseOfError(RecordField(record, "error="))};
}

std::ostream& operator<<(std::ostream& out, const Verdict& v) {
  return out << "suc=" << v.suc << " statu=" << v.statu << " http=" << v.http
             << " https=" << v.https << " errnum=" << v.errnum
             << " phase=" << FailurePhaseText(v.phase);
}

class ProbeEngineTest : public ::testing::Test {
 protected:
  ProbeEngineTest() {
    settings.test_http = true;
    settings.timeout_ms = 300;
    settings.http_url = u"http://ip138.test/ic.asp"_s;
    slot->Publish(std::make_shared<const ProbeSettings>(settings));
  }

  std::shared_ptr<RunState> NewRun() {
    auto run = std::make_shared<RunState>(1, slot);
    run->test_running = true;
    return run;
  }

  // Every record of the run, by the row it names.
  static std::map<RowId, std::string> Records(RunState& run) {
    std::map<RowId, std::string> records;
    const std::string text = run.results.Take();
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find("\r\n", at);
      const std::string line = text.substr(at, end - at);
      records[static_cast<RowId>(std::stoull(std::string(RecordField(line, "lvid="))))] = line;
      at = end + 2;
    }
    return records;
  }

  ProbeSettings settings;
  std::shared_ptr<ProbeSettingsSlot> slot = std::make_shared<ProbeSettingsSlot>();
};

TEST_F(ProbeEngineTest, AMixedListGivesTheSameRecordsAtAnyConcurrency) {
  test::ProxyFarm farm;
  const auto live = farm.Add({"ok [1.2.3.4]", 0, false}, 3);
  const auto socks = farm.Add({"ok [1.2.3.4]", 0, false, true}, 3);
  const auto silent = farm.Add({"", 0, true}, 2);
  const auto wrong_text = farm.Add({"no bracket here", 0, false}, 2);
  farm.Start();
  test::PageServer origin;
  origin.Set("/gone", {404, "not found", "text/html", 0});
  test::StreamServer stalling("[", 1500);  // silent for far longer than the time-out
  FullBacklog unanswered_syn;
  test::SilentServer silent_socks;

  struct Entry {
    QString address;
    Verdict expected;
  };
  const std::string closed = std::to_string(test::ClosedPort());
  std::vector<Entry> entries;
  const Verdict passed{"4", "200", "True", "False", "0", FailurePhase::kNone};
  for (const auto& a : live) entries.push_back({QString::fromStdString(a), passed});
  for (const auto& a : socks) entries.push_back({QString::fromStdString(a), passed});
  for (const auto& a : silent)
    entries.push_back(
        {QString::fromStdString(a), {"0", "0", "False", "False", "28", FailurePhase::kNoAnswer}});
  for (const auto& a : wrong_text)
    entries.push_back({QString::fromStdString(a),
                       {"0", "200", "True", "False", "0", FailurePhase::kWrongAnswer}});
  entries.push_back({QString::fromStdString("127.0.0.1:" + closed),
                     {"0", "0", "False", "False", "7", FailurePhase::kRefused}});
  entries.push_back({QString::fromStdString(stalling.Address()),
                     {"0", "0", "False", "False", "28", FailurePhase::kNoAnswer}});
  entries.push_back({unanswered_syn.Address(),
                     {"0", "0", "False", "False", "28", FailurePhase::kConnectTimeout}});
  entries.push_back({u"socks5://"_s + QString::fromStdString(silent_socks.Address()),
                     {"0", "0", "False", "False", "28", FailurePhase::kHandshake}});
  // An origin's own error page is no failure of the proxy; its status is recorded.
  entries.push_back({{}, {"0", "404", "True", "False", "0", FailurePhase::kWrongAnswer}});
  settings.http_url = QString::fromStdString(origin.Url("/gone")) + u"#ip138"_s;
  slot->Publish(std::make_shared<const ProbeSettings>(settings));

  for (const int concurrency : {1, 100, 2000}) {
    ProbeEngine engine;
    engine.SetConcurrency(concurrency);
    const auto run = NewRun();
    std::vector<ProbeJob> jobs;
    for (std::size_t i = 0; i < entries.size(); ++i)
      jobs.push_back({static_cast<RowId>(i + 1), entries[i].address});
    engine.Add(run, std::move(jobs));
    ASSERT_TRUE(test::WaitFor([&] { return run->pending == 0; }, 30000)) << concurrency;
    const std::map<RowId, std::string> records = Records(*run);
    ASSERT_EQ(records.size(), entries.size()) << concurrency;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string& record = records.at(static_cast<RowId>(i + 1));
      EXPECT_EQ(VerdictOf(record), entries[i].expected)
          << "concurrency " << concurrency << ", " << entries[i].address.toStdString() << ": "
          << record;
    }
    EXPECT_EQ(engine.InFlight(), 0);
    EXPECT_EQ(run->validated_count, static_cast<int>(entries.size()));
  }
}

TEST_F(ProbeEngineTest, AnAddressLibcurlCannotUseSpoilsNoOtherProbe) {
  test::ProxyFarm farm;
  const auto live = farm.Add({"ok [1.2.3.4]", 0, false}, 1);
  farm.Start();
  ProbeEngine engine;
  engine.SetConcurrency(1);  // one handle, used for every probe in turn
  const auto run = NewRun();
  const QString good = QString::fromStdString(live[0]);
  engine.Add(run, {{1, u"socks5://socks5://127.0.0.1:1"_s}, {2, good}, {3, u"a b:c"_s}, {4, good}});
  ASSERT_TRUE(test::WaitFor([&] { return run->pending == 0; }, 10000));
  const std::map<RowId, std::string> records = Records(*run);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(RecordField(records.at(2), "suc="), "4") << records.at(2);
  EXPECT_EQ(RecordField(records.at(4), "suc="), "4") << records.at(4);
}

TEST_F(ProbeEngineTest, AStopWithThousandsInFlightEndsThemAllAndWritesNothing) {
  test::ProxyFarm farm;
  const auto silent = farm.Add({"", 0, true}, 50);
  farm.Start();
  settings.timeout_ms = 20000;
  slot->Publish(std::make_shared<const ProbeSettings>(settings));
  ProbeEngine engine(2);  // as validation runs have it
  constexpr int kProbes = 5000;
  engine.SetConcurrency(kProbes);
  const auto run = NewRun();
  std::vector<ProbeJob> jobs;
  for (int i = 0; i < kProbes; ++i)
    jobs.push_back({static_cast<RowId>(i + 1),
                    QString::fromStdString(silent[static_cast<std::size_t>(i) % silent.size()])});
  engine.Add(run, std::move(jobs));
  ASSERT_TRUE(test::WaitFor([&] { return engine.InFlight() == kProbes; }, 30000))
      << engine.InFlight();
  run->test_running = false;
  engine.DropStopped();
  EXPECT_TRUE(test::WaitFor([&] { return engine.InFlight() == 0; }, kStopBoundMs))
      << engine.InFlight();
  EXPECT_TRUE(test::WaitFor([&] { return run->pending == 0; }, kStopBoundMs));
  EXPECT_EQ(run->results.Take(), "");
  EXPECT_EQ(run->validated_count, 0);
}

TEST_F(ProbeEngineTest, AProbeThisMachineHasNoDescriptorForIsProbedLaterNotFailed) {
  const FarmProcess farm(20);
  ASSERT_EQ(farm.Addresses().size(), 20u);
  settings.timeout_ms = 5000;
  slot->Publish(std::make_shared<const ProbeSettings>(settings));
  ProbeEngine engine(2);
  constexpr int kProbes = 600;
  engine.SetConcurrency(kProbes);
  const auto run = NewRun();
  std::vector<ProbeJob> jobs;
  for (int i = 0; i < kProbes; ++i)
    jobs.push_back({static_cast<RowId>(i + 1), farm.Addresses()[static_cast<std::size_t>(i) % 20]});
  // Room for about 60 sockets: most of the probes asked for at once find no descriptor.
  rlimit before{};
  getrlimit(RLIMIT_NOFILE, &before);
  rlimit lowered = before;
  lowered.rlim_cur = static_cast<rlim_t>(HighestDescriptor() + 60);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  engine.Add(run, std::move(jobs));
  const bool ended = test::WaitFor([&] { return run->pending == 0; }, 60000);
  setrlimit(RLIMIT_NOFILE, &before);
  ASSERT_TRUE(ended) << run->pending;
  EXPECT_GT(engine.LocalFaults(), 0);
  const std::map<RowId, std::string> records = Records(*run);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(kProbes));
  for (const auto& [id, record] : records) EXPECT_EQ(RecordField(record, "suc="), "4") << record;
}

TEST_F(ProbeEngineTest, TheJudgeIsAskedDirectlyOnceBeforeAnyProxyIsJudged) {
  test::ProxyFarm farm;
  const auto live = farm.Add({"ok [1.2.3.4] origin 10.9.8.7", 0, false}, 4);
  farm.Start();
  test::JudgeServer judge;
  const auto run = NewRun();
  run->judge = std::make_shared<AnonymityJudge>(QString::fromStdString(judge.Url()));
  ProbeEngine engine;
  engine.SetConcurrency(100);
  std::vector<ProbeJob> jobs;
  for (std::size_t i = 0; i < live.size(); ++i)
    jobs.push_back({static_cast<RowId>(i + 1), QString::fromStdString(live[i])});
  engine.Add(run, std::move(jobs));
  ASSERT_TRUE(test::WaitFor([&] { return run->pending == 0; }, 10000));
  EXPECT_TRUE(run->judge->CanJudge());
  EXPECT_EQ(judge.Requests(), 1);  // the farm's proxies answer the judge's page themselves
  for (const auto& [id, record] : Records(*run))
    EXPECT_EQ(RecordField(record, "suc="), "4") << record;
}

}  // namespace
}  // namespace ph
