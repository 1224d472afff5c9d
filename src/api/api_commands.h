#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <random>

namespace ph {

class AppState;

// What a command does with its connection.
struct ApiReply {
  enum class Kind {
    kAnswer,        // send the body, then close
    kCloseQuietly,  // close without sending anything
    kIgnore,        // no answer, connection kept
    kFail,          // close at once without an answer
  };
  Kind kind = Kind::kIgnore;
  QString body;
  int delay_ms = 0;             // how long to wait before answering or closing
  std::function<void()> after;  // runs once the answer has been sent
};

// The parts of the program a command reaches besides the state.
struct ApiContext {
  AppState& state;
  // Runs a user command of the command table by name.
  std::function<bool(QStringView name)> run_command;
  // Moves the listener to another port: the reply to send.
  std::function<ApiReply(int port)> reset_port;
  std::mt19937& random;
};

// Dispatches elements e0..en of one request (e1 the command name) through the command table.
ApiReply DispatchApiCommand(const QStringList& elements, ApiContext& context);

// The answer of "gettesturlinfo" for the test targets selected now.
QString TestUrlInfo(const AppState& state);

}  // namespace ph
