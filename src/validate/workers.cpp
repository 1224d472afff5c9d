#include "validate/workers.h"

#include "validate/probe.h"

#include <QCoreApplication>
#include <QStringView>

#include <system_error>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Uncounts a worker when it ends, however it ends.
class ActiveWorkerGuard {
 public:
  explicit ActiveWorkerGuard(const WorkerLinks& links) : links_(links) {}
  ~ActiveWorkerGuard() {
    --links_.run->workers;
    --links_.shared->active_workers;
  }
  ActiveWorkerGuard(const ActiveWorkerGuard&) = delete;
  ActiveWorkerGuard& operator=(const ActiveWorkerGuard&) = delete;

 private:
  const WorkerLinks& links_;
};

// Lines a worker will probe: those holding "=".
int EntriesIn(QStringView batch) {
  int entries = 0;
  for (const QStringView line : batch.split(u"\r\n"_s))
    if (line.contains(u'=')) ++entries;
  return entries;
}

}  // namespace

bool LaunchDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

Batches CutBatches(const QString& run_text, int worker_count) {
  Batches result;
  const QList<QStringView> lines = QStringView(run_text).split(u"\r\n"_s);
  result.to_validate = run_text.isEmpty() ? -1 : static_cast<int>(lines.size()) - 1;
  const int highest = result.to_validate;
  if (highest <= 0 || worker_count < 1) return result;
  const int per_worker = (highest + worker_count - 1) / worker_count;  // P, rounded up
  for (int next = 0; next < highest;) {
    QString batch;
    for (int taken = 0; taken < per_worker && next < highest; ++taken, ++next) {
      batch += lines[next];
      batch += u"\r\n"_s;
    }
    if (batch.contains(u'=')) result.batches.push_back(std::move(batch));
  }
  return result;
}

void ZxShuzu(const QString& run_text, int worker_count, const WorkerLinks& links,
             const ThreadLauncher& launch, const std::function<void(int entries)>& on_skipped) {
  Batches cut = CutBatches(run_text, worker_count);
  links.run->to_validate_count = cut.to_validate;
  for (QString& batch : cut.batches) {
    const int entries = EntriesIn(batch);
    if (!StartWorker(std::move(batch), links, launch)) {
      // Its entries will never be probed: the run must still be able to complete.
      links.run->to_validate_count -= entries;
      if (on_skipped) on_skipped(entries);
    }
    QCoreApplication::processEvents();
  }
}

bool StartWorker(QString batch, const WorkerLinks& links, const ThreadLauncher& launch) {
  ++links.shared->active_workers;
  ++links.run->workers;
  const bool started = launch([batch = std::move(batch), links] { WorkerMain(batch, links); });
  if (!started) {
    --links.run->workers;
    --links.shared->active_workers;
  }
  return started;
}

void WorkerMain(const QString& batch, const WorkerLinks& links) {
  ActiveWorkerGuard guard(links);
  for (const QStringView line : QStringView(batch).split(u"\r\n"_s)) {
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) continue;
    const int64_t lvid = line.left(equals).toLongLong();
    QStringView address = line.mid(equals + 1);
    const qsizetype second = address.indexOf(u'=');
    if (second >= 0) address = address.left(second);

    const std::shared_ptr<const ProbeSettings> settings = links.settings->Get();
    const std::string record = ProbeProxy(address.toString(), lvid, *settings,
                                          &links.run->test_running, links.run->judge.get());
    if (record.empty()) break;  // cut off by a stop: nothing was found out
    links.run->results.Append(record);
    ++links.run->validated_count;
    if (!links.run->test_running) break;
  }
}

}  // namespace ph
