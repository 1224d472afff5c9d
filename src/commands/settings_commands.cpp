#include "commands/settings_commands.h"

#include "api/api_server.h"
#include "commands/command_table.h"
#include "commands/list_commands.h"
#include "core/app_state.h"
#include "core/front_end.h"
#include "core/numbers.h"

#include <array>
#include <span>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Writes the number into the field as a user would type it, and applies the panel.
CommandResult SetAndApply(Core& core, TextField field, double value, bool report_refusal) {
  core.state.Config().SetText(field, NumberText(value));
  const bool applied = core.state.ApplySettings();
  return !applied && report_refusal ? CommandResult::Refused() : CommandResult::Done();
}

// A test target by the word the API uses for it; "zdy" brings its URL and match text.
struct Target {
  QLatin1StringView word;
  int gtn;
};
constexpr std::array<Target, 4> kHttpsTargets{
    {{"weibo"_L1, 5}, {"baidu"_L1, 4}, {"taobao"_L1, 3}, {"zdy"_L1, 6}}};
constexpr std::array<Target, 4> kHttpTargets{
    {{"sina"_L1, 0}, {"ip138"_L1, 1}, {"chinaz"_L1, 2}, {"zdy"_L1, 7}}};

CommandResult SetTarget(Core& core, const CommandArgs& args, std::span<const Target> targets,
                        TextField url, TextField text) {
  const QString word = args.Text(0);
  const auto target =
      std::find_if(targets.begin(), targets.end(), [&](const Target& t) { return word == t.word; });
  // A word outside the table selects nothing, and says so.
  if (target == targets.end()) return CommandResult::Refused();
  Settings& settings = core.state.Config();
  if (target->word == "zdy"_L1) {
    if (args.Count() < 3) return CommandResult::Malformed();
    settings.SelectGtn(target->gtn);
    settings.SetText(url, args.Text(1));
    settings.SetText(text, args.Text(2));
  } else {
    settings.SelectGtn(target->gtn);
  }
  core.state.ApplySettings();
  return CommandResult::Done();
}

}  // namespace

CommandResult SetHarvestPages(Core& core, const CommandArgs& args) {
  core.state.Config().SetText(&SettingsPanel::Text1, NumberText(args.Number(0)));
  core.state.ApplySettings();
  return CommandResult::Done();
}

CommandResult SetSources(Core& core, const CommandArgs& args) {
  // The order of the boxes is the order of the arguments; a value a box cannot take ends
  // the command, the boxes written before it keep their new values.
  constexpr std::array<CheckField, 5> kBoxes{&SettingsPanel::Check1, &SettingsPanel::Check6,
                                             &SettingsPanel::Check2, &SettingsPanel::Check7,
                                             &SettingsPanel::Check3};
  for (std::size_t i = 0; i < kBoxes.size(); ++i) {
    const double value = RoundHalfEven(args.Number(static_cast<int>(i)));
    if (value != 0 && value != 1 && value != 2) return CommandResult::Malformed();
    core.state.Config().SetCheck(kBoxes[i], static_cast<int>(value));
  }
  core.state.ApplySettings();
  return CommandResult::Done();
}

CommandResult SetHttpTarget(Core& core, const CommandArgs& args) {
  return SetTarget(core, args, kHttpTargets, &SettingsPanel::Text16, &SettingsPanel::Text17);
}

CommandResult SetHttpsTarget(Core& core, const CommandArgs& args) {
  return SetTarget(core, args, kHttpsTargets, &SettingsPanel::Text14, &SettingsPanel::Text15);
}

CommandResult SetTimeout(Core& core, const CommandArgs& args) {
  return SetAndApply(core, &SettingsPanel::Text2, args.Number(0), false);
}

CommandResult SetThreads(Core& core, const CommandArgs& args) {
  return SetAndApply(core, &SettingsPanel::Text3, args.Number(0), true);
}

CommandResult SetUpdateInterval(Core& core, const CommandArgs& args) {
  return SetAndApply(core, &SettingsPanel::Text11, args.Number(0), false);
}

CommandResult SetRetestInterval(Core& core, const CommandArgs& args) {
  return SetAndApply(core, &SettingsPanel::Text13, args.Number(0), false);
}

CommandResult SetSuccessFilter(Core& core, const CommandArgs& args) {
  Settings& settings = core.state.Config();
  if (args.Number(0) != 1) {
    settings.SetCheck(&SettingsPanel::Check8, 0);
    core.state.ApplySettings();
    return CommandResult::Done();
  }
  if (args.Count() != 3) return CommandResult::Refused();
  settings.SetCheck(&SettingsPanel::Check8, 1);
  settings.SetText(&SettingsPanel::Text18, NumberText(args.Number(1)));
  settings.SetText(&SettingsPanel::Text19, NumberText(args.Number(2)));
  core.state.ApplySettings();
  return CommandResult::Done();
}

CommandResult SetAutoHarvest(Core& core, const CommandArgs& args) {
  core.state.Config().SetCheck(&SettingsPanel::Check5, args.Number(0) != 0 ? 1 : 0);
  return CommandResult::Done();
}

CommandResult SetAutoRetest(Core& core, const CommandArgs& args) {
  core.state.Config().SetCheck(&SettingsPanel::Check4, args.Number(0) != 0 ? 1 : 0);
  return CommandResult::Done();
}

CommandResult MoveApiPort(Core& core, const CommandArgs& args) {
  const double port = args.Number(0);
  const Control& range = ControlOf(&SettingsPanel::Text8);
  if (port < range.low || port > range.high) return CommandResult::Refused();
  return core.api.MovePort(static_cast<int>(port)) ? CommandResult::Done()
                                                   : CommandResult::Refused();
}

void StartOrStopApi(Core& core) {
  if (const std::optional<ApiServer::Failure> failure = core.api.StartOrStop()) {
    core.state.Front().ShowMessage(u"服务启动失败,错误: "_s + failure->description,
                                   u"错误代码: "_s + QString::number(failure->number),
                                   MessageIcon::Critical, MessageButtons::Ok);
  }
}

}  // namespace ph
