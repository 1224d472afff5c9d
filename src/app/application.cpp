#include "app/application.h"

#include "core/front_end.h"
#include "store/shared_pool.h"
#include "store/store_keeper.h"

#include <chrono>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// How often an end looks whether the probes have ended.
constexpr int kQuitPollMs = 20;

}  // namespace

Application::Application(ProgramDir dir, QObject* parent)
    : QObject(parent),
      state_(std::move(dir)),
      random_(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())) {
  FollowJobs();
  quit_poll_.setInterval(kQuitPollMs);
  connect(&quit_poll_, &QTimer::timeout, this, [this] {
    const qint64 waited = quit_clock_.elapsed();
    if (waited < quit_wait_.at_least_ms) return;
    if (ProbesAlive() && waited < quit_wait_.at_most_ms) return;
    Finish();
  });
}

Application::~Application() {
  // The front end refers to the core; it goes first, and nothing asks it anything after.
  state_.SetFrontEnd(nullptr);
  front_end_.reset();
  runs_.SetSharing(nullptr);
  runs_.Shutdown();
}

void Application::FollowJobs() {
  // The stop commands are offered while their job runs; each job is the one owner of that.
  Status& status = state_.StatusBar();
  connect(&harvest_, &HarvestControl::RunningChanged, this,
          [this, &status] { status.SetMenuItemVisible(MenuItem::StopGet, harvest_.Running()); });
  connect(&harvest_, &HarvestControl::Ended, this, [&status] { status.EndJob(Job::kHarvest); });
  connect(&runs_, &ValidationRuns::RunningChanged, this,
          [this, &status] { status.SetMenuItemVisible(MenuItem::StopTest, runs_.TestRunning()); });
}

CommandResult Application::Run(CommandId id, const CommandArgs& args) {
  // Nothing new starts once the end is under way.
  if (quitting_) return CommandResult::Refused();
  return RunCommand(core_, id, args);
}

void Application::SetFrontEnd(std::unique_ptr<FrontEnd> front_end) {
  front_end_ = std::move(front_end);
  state_.SetFrontEnd(front_end_.get());
}

void Application::KeepListIn(ListStore& store, std::function<void(const QString&)> report) {
  keeper_ = std::make_unique<StoreKeeper>(state_.List(), store, std::move(report));
  keeper_->Flush();  // rows there at start are kept from the start
}

void Application::ShareWith(SharedPool& pool) {
  pool_ = &pool;
  pool.Serve(state_.Config(), runs_);
  runs_.SetSharing(&pool.Sharing());
  harvest_.SetGate(pool.Gate(true));
  retest_.SetGate(pool.Gate(false));
  connect(&harvest_, &HarvestControl::Ended, &pool, &SharedPool::HarvestEnded);
}

void Application::Start() {
  state_.Startup();
  // A validation type a settings file chose holds from the start; the start-up default
  // would otherwise switch HTTP on beside it.
  state_.Config().SelectOtn(state_.Config().Panel().Otn);
  harvest_.Start();
  retest_.Start();
  rotate_.Start();
  status_.Follow();
}

bool Application::ProbesAlive() const { return runs_.ProbesInFlight() > 0; }

std::optional<QString> Application::Health() const {
  if (quitting_) return u"正在退出"_s;
  return keeper_ ? keeper_->Problem() : std::nullopt;
}

void Application::RequestQuit(QuitWait wait) {
  if (quitting_) return;
  quitting_ = true;
  quit_wait_ = wait;
  if (harvest_.Run() != nullptr) harvest_.StopHarvest();
  if (runs_.TestRunning()) {
    runs_.ClearTestRunning();
    state_.Front().HideWindow();
  } else {
    quit_wait_.at_least_ms = 0;
  }
  if (!ProbesAlive() && quit_wait_.at_least_ms == 0) {
    Finish();
    return;
  }
  quit_clock_.start();
  quit_poll_.start();
}

void Application::Finish() {
  quit_poll_.stop();
  runs_.Shutdown();
  runs_.DrainLateResults();
  // What this instance held of a shared run goes to the others at once.
  if (pool_) pool_->Leave();
  int code = 0;
  if (keeper_) {
    const bool saved = keeper_->Flush();
    emit ListSaved(saved, state_.List().RowCount());
    if (!saved) code = 1;
  }
  emit Ended(code);
}

}  // namespace ph
