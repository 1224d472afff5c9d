#pragma once

#include "core/command_types.h"

#include <QString>

namespace ph {

class AppState;
struct Core;

// The questions other programs ask through the control API; the answer is the result's text.
// "getip": row, count, minimum ratio %, area flag.
CommandResult GetIp(Core& core, const CommandArgs& args);
// The number of rows.
CommandResult GetCount(Core& core, const CommandArgs& args);
// The test targets selected now.
CommandResult GetTestUrlInfo(Core& core, const CommandArgs& args);

// The answer of "gettesturlinfo".
QString TestUrlInfo(const AppState& state);

}  // namespace ph
