#include "api/api_commands.h"

#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The commands that change settings wait this long before answering, as they always have.
constexpr int kSettleMs = 50;
// An unknown command closes its connection after this long.
constexpr int kUnknownCloseMs = 50;

// How many elements (e0..en) a request needs: exactly n, at least n, or any.
enum class Count { kExactly, kAtLeast, kAny };

// What goes back: the command's answer text as it is, "1|" and the text, or "1|success"
// ("0|error" when refused).
enum class Answer { kText, kCount, kSuccess };

struct WireCommand {
  QLatin1StringView word;
  Count count;
  int n;
  CommandId id;
  Answer answer;
  int delay_ms = 0;
  // For the words that switch something on or off: the value they set, instead of elements.
  const char16_t* fixed_argument = nullptr;
};

constexpr std::array<WireCommand, 18> kWireCommands{{
    {"getip"_L1, Count::kExactly, 5, CommandId::kGetIp, Answer::kText},
    {"getcount"_L1, Count::kExactly, 2, CommandId::kGetCount, Answer::kCount},
    {"setrefpage"_L1, Count::kExactly, 2, CommandId::kSetHarvestPages, Answer::kSuccess},
    {"settype"_L1, Count::kExactly, 6, CommandId::kSetSources, Answer::kSuccess},
    {"resetport"_L1, Count::kExactly, 2, CommandId::kMoveApiPort, Answer::kSuccess},
    {"sethttps"_L1, Count::kAtLeast, 2, CommandId::kSetHttpsTarget, Answer::kSuccess},
    {"sethttp"_L1, Count::kAtLeast, 2, CommandId::kSetHttpTarget, Answer::kSuccess},
    {"gettesturlinfo"_L1, Count::kExactly, 2, CommandId::kGetTestUrlInfo, Answer::kText},
    {"settestouttime"_L1, Count::kExactly, 2, CommandId::kSetTimeout, Answer::kSuccess, kSettleMs},
    {"settestthread"_L1, Count::kExactly, 2, CommandId::kSetThreads, Answer::kSuccess, kSettleMs},
    {"setrefreshtime"_L1, Count::kExactly, 2, CommandId::kSetUpdateInterval, Answer::kSuccess,
     kSettleMs},
    {"settesttimes"_L1, Count::kExactly, 2, CommandId::kSetRetestInterval, Answer::kSuccess,
     kSettleMs},
    {"setsucratio"_L1, Count::kAtLeast, 2, CommandId::kSetSuccessFilter, Answer::kSuccess},
    {"resethistory"_L1, Count::kExactly, 1, CommandId::kResetHistory, Answer::kSuccess},
    {"startget"_L1, Count::kAny, 0, CommandId::kSetAutoHarvest, Answer::kSuccess, 0, u"1"},
    {"stopget"_L1, Count::kAny, 0, CommandId::kSetAutoHarvest, Answer::kSuccess, 0, u"0"},
    {"starttest"_L1, Count::kAny, 0, CommandId::kSetAutoRetest, Answer::kSuccess, 0, u"1"},
    {"stoptest"_L1, Count::kAny, 0, CommandId::kSetAutoRetest, Answer::kSuccess, 0, u"0"},
}};

bool CountFits(const WireCommand& command, int n) {
  switch (command.count) {
    case Count::kExactly:
      return n == command.n;
    case Count::kAtLeast:
      return n >= command.n;
    case Count::kAny:
      return true;
  }
  return false;
}

ApiReply AnswerOf(const WireCommand& command, const CommandResult& result) {
  switch (result.outcome) {
    case CommandResult::Outcome::kMalformed:
      return {ApiReply::Kind::kFail, {}, 0};
    case CommandResult::Outcome::kRefused:
      return {ApiReply::Kind::kAnswer, u"0|error"_s, 0};
    case CommandResult::Outcome::kDone:
      break;
  }
  switch (command.answer) {
    case Answer::kText:
      return {ApiReply::Kind::kAnswer, result.text, command.delay_ms};
    case Answer::kCount:
      return {ApiReply::Kind::kAnswer, u"1|"_s + result.text, command.delay_ms};
    case Answer::kSuccess:
      break;
  }
  return {ApiReply::Kind::kAnswer, u"1|success"_s, command.delay_ms};
}

}  // namespace

ApiReply DispatchApiCommand(const QStringList& elements, const CommandRunner& run) {
  if (elements.size() < 2) return {};
  const int n = static_cast<int>(elements.size()) - 1;
  for (const WireCommand& command : kWireCommands) {
    if (elements[1] != command.word) continue;
    if (!CountFits(command, n)) return {};  // ignored: no answer, connection kept
    const CommandArgs args(command.fixed_argument != nullptr
                               ? QStringList{QString::fromUtf16(command.fixed_argument)}
                               : elements.mid(2));
    return AnswerOf(command, run(command.id, args));
  }
  return {ApiReply::Kind::kCloseQuietly, {}, kUnknownCloseMs};
}

QLatin1StringView ApiCommandWord(const QStringList& elements) {
  if (elements.size() < 2) return {};
  for (const WireCommand& command : kWireCommands)
    if (elements[1] == command.word) return command.word;
  return {};
}

}  // namespace ph
