#pragma once

#include "core/probe_settings.h"
#include "validate/judge.h"

#include <QString>

#include <atomic>
#include <memory>
#include <string>

namespace ph::test {

// One probe through the engine, waited for: its result record, or "" when stop_after_ms passed
// first and the probe was stopped. With a judge, the judge is asked directly first.
std::string ProbeOnce(const QString& address, int64_t lvid, const ProbeSettings& settings,
                      std::shared_ptr<AnonymityJudge> judge = nullptr, int stop_after_ms = -1);

}  // namespace ph::test
