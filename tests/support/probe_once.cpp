#include "support/probe_once.h"

#include "validate/probe_engine.h"

#include <chrono>
#include <thread>

namespace ph::test {

std::string ProbeOnce(const QString& address, int64_t lvid, const ProbeSettings& settings,
                      std::shared_ptr<AnonymityJudge> judge, int stop_after_ms) {
  auto slot = std::make_shared<ProbeSettingsSlot>();
  slot->Publish(std::make_shared<const ProbeSettings>(settings));
  auto run = std::make_shared<RunState>(1, slot);
  run->judge = std::move(judge);
  run->test_running = true;
  ProbeEngine engine;
  engine.Add(run, {{static_cast<RowId>(lvid), address}});
  const auto started = std::chrono::steady_clock::now();
  while (run->pending > 0) {
    if (stop_after_ms >= 0 && run->test_running &&
        std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(stop_after_ms)) {
      run->test_running = false;
      engine.DropStopped();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::string record = run->results.Take();
  if (record.size() >= 2) record.resize(record.size() - 2);  // its CR LF
  return record;
}

}  // namespace ph::test
