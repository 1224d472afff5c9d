#pragma once

#include "core/probe_settings.h"
#include "validate/run_state.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace ph {

// What every worker holds: the state shared with the window's thread, its own run, and the
// place the current probe settings are published. All shared_ptrs, so a worker that outlives
// its run or the window never touches freed memory.
struct WorkerLinks {
  std::shared_ptr<ValidationShared> shared;
  std::shared_ptr<RunState> run;
  std::shared_ptr<const ProbeSettingsSlot> settings;
};

// Starts body on a new detached thread; false when no thread could be made.
using ThreadLauncher = std::function<bool(std::function<void()> body)>;
bool LaunchDetachedThread(std::function<void()> body);

// The run text (lines of "row=address", each ended by CR LF) cut into consecutive batches
// of ceil(U / worker_count) lines, U being the highest line index (-1 for an empty text):
// the lines below U, so a last line without CR LF is left out. Batches without "=" are dropped.
struct Batches {
  int to_validate = -1;  // U
  std::vector<QString> batches;
};
Batches CutBatches(const QString& run_text, int worker_count);

// Cuts the run text into batches and starts one worker per batch; sets the run's
// ToValidateCount to U first. Window events run between thread starts.
// A batch whose thread cannot be made is dropped from ToValidateCount and reported through
// on_skipped with its number of entries.
void ZxShuzu(const QString& run_text, int worker_count, const WorkerLinks& links,
             const ThreadLauncher& launch = LaunchDetachedThread,
             const std::function<void(int entries)>& on_skipped = {});

// Counts one more active worker and starts it with its batch; undoes the count and returns
// false when the thread cannot be made.
bool StartWorker(QString batch, const WorkerLinks& links, const ThreadLauncher& launch);

// A worker's life: probes each "row=address" line of its batch, appends each record to its
// run's ResultBuffer and counts it; leaves early once its run is stopped.
void WorkerMain(const QString& batch, const WorkerLinks& links);

}  // namespace ph
