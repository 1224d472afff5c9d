#pragma once

#include "core/command_types.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ph {

// What a request does with its connection.
struct ApiReply {
  enum class Kind {
    kAnswer,        // send the body, then close
    kCloseQuietly,  // close without sending anything
    kIgnore,        // no answer, connection kept
    kFail,          // close at once without an answer
  };
  Kind kind = Kind::kIgnore;
  QString body;
  int delay_ms = 0;  // how long to wait before answering or closing
};

// Runs a command of the command table.
using CommandRunner = std::function<CommandResult(CommandId id, const CommandArgs& args)>;

// Maps elements e0..en of one request (e1 the command's wire name) to a command and its
// arguments, runs it, and says what goes back on the wire.
ApiReply DispatchApiCommand(const QStringList& elements, const CommandRunner& run);

// The wire word of the command that elements e0..en ask for; empty when no command has it.
QLatin1StringView ApiCommandWord(const QStringList& elements);

}  // namespace ph
