#pragma once

#include "core/command_types.h"

namespace ph {

struct Core;

// The settings as the control API changes them: each writes the panel's fields, check boxes
// or options as a user would, and then mostly applies the panel. Arguments are read the
// lenient way; a value the command cannot take is refused ("0|error" on the wire) or, where
// it cannot be read at all, malformed (the connection closes without an answer).
CommandResult SetHarvestPages(Core& core, const CommandArgs& args);    // pages
CommandResult SetSources(Core& core, const CommandArgs& args);         // five 0/1 (2 = grey)
CommandResult SetHttpTarget(Core& core, const CommandArgs& args);      // word or zdy, URL, text
CommandResult SetHttpsTarget(Core& core, const CommandArgs& args);     // word or zdy, URL, text
CommandResult SetTimeout(Core& core, const CommandArgs& args);         // ms
CommandResult SetThreads(Core& core, const CommandArgs& args);         // refused outside 1-100
CommandResult SetUpdateInterval(Core& core, const CommandArgs& args);  // s
CommandResult SetRetestInterval(Core& core, const CommandArgs& args);  // s
CommandResult SetSuccessFilter(Core& core, const CommandArgs& args);   // 0 | 1, tests, percent
CommandResult SetAutoHarvest(Core& core, const CommandArgs& args);     // 0/1: 自动更新
CommandResult SetAutoRetest(Core& core, const CommandArgs& args);      // 0/1: 自动重验
// Moves the control API to the port; refused when the port cannot be opened (the old one
// stays) or lies outside 1-65535.
CommandResult MoveApiPort(Core& core, const CommandArgs& args);
// Command4: starts or stops the control API; a failed start is shown in a message box.
void StartOrStopApi(Core& core);

}  // namespace ph
