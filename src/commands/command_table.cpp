#include "commands/command_table.h"

#include "api/api_server.h"
#include "commands/browser_proxy_commands.h"
#include "commands/file_commands.h"
#include "commands/list_commands.h"
#include "commands/location_commands.h"
#include "commands/query_commands.h"
#include "commands/settings_commands.h"
#include "core/app_state.h"
#include "harvest/harvest_control.h"
#include "validate/validation_run.h"

#include <algorithm>
#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Args = const CommandArgs&;
using Result = CommandResult;
using Id = CommandId;

// Commands that take no arguments and always do what they do.
template <auto kBody>
constexpr Result (*Plain())(Core&, Args) {
  return [](Core& c, Args) {
    kBody(c);
    return Result::Done();
  };
}

constexpr std::array kCommands{
    CommandSpec{Id::kHarvest, "GetProxyMenu"_L1, u"采集代理",
                Plain<[](Core& c) { c.harvest.StartHarvest(); }>()},
    CommandSpec{Id::kValidateSelected, "Tmenu1"_L1, u"验证选中",
                Plain<[](Core& c) { c.runs.ValidateSelected(); }>()},
    CommandSpec{Id::kValidateAll, "Tmenu2"_L1, u"验证所有",
                Plain<[](Core& c) { c.runs.ValidateAll(); }>()},
    CommandSpec{Id::kStopValidation, "StopTest"_L1, u"停止验证",
                Plain<[](Core& c) { c.runs.StopValidation(); }>()},
    CommandSpec{Id::kStopHarvest, "StopGet"_L1, u"停止采集",
                Plain<[](Core& c) { c.harvest.StopHarvest(); }>()},
    CommandSpec{Id::kImportFile, "LoadProxyMenu"_L1, u"导入代理",
                Plain<[](Core& c) { ImportProxyFile(c.state); }>()},
    CommandSpec{Id::kExportText, "WirteTxt"_L1, u"导出为文本",
                Plain<[](Core& c) { ExportProxyFile(c.state); }>()},
    CommandSpec{Id::kExportCsv, "WirteCsv"_L1, u"导出为Csv",
                Plain<[](Core& c) { ExportCsv(c.state); }>()},
    CommandSpec{Id::kCopySelected, "CopyInfo"_L1, u"复制选中代理信息",
                Plain<[](Core& c) { c.lists.CopySelected(); }>()},
    CommandSpec{Id::kPaste, "GetgriMenu"_L1, u"粘贴数据",
                Plain<[](Core& c) { PasteImport(c.state); }>()},
    CommandSpec{Id::kFind, "FindInfo"_L1, u"查找",
                Plain<[](Core& c) { c.lists.FindAndSelect(); }>()},
    CommandSpec{Id::kRemoveDuplicates, "Rdmenu"_L1, u"去除重复",
                Plain<[](Core& c) { c.lists.RemoveDuplicates(); }>()},
    CommandSpec{Id::kCheckAddresses, "gotoAdrs"_L1, u"检查地址",
                Plain<[](Core& c) { CheckAddresses(c.state); }>()},
    CommandSpec{Id::kResetHistory, "RestyzMenu"_L1, u"重置验证历史",
                Plain<[](Core& c) { c.lists.ResetHistory(); }>()},
    CommandSpec{Id::kSelectAll, "SltallMenu"_L1, u"全 选",
                Plain<[](Core& c) { c.lists.SelectAll(); }>()},
    CommandSpec{Id::kInvertSelection, "SltallMenus"_L1, u"反 选",
                Plain<[](Core& c) { c.lists.InvertSelection(); }>()},
    CommandSpec{Id::kSelectNotValidated, "SltsucsMenu"_L1, u"选择暂未验证",
                Plain<[](Core& c) { c.lists.SelectNotValidated(); }>()},
    CommandSpec{Id::kSelectSuccessful, "SltsucMenu"_L1, u"选择验证成功",
                Plain<[](Core& c) { c.lists.SelectSuccessful(); }>()},
    CommandSpec{Id::kUseAsBrowserProxy, "SetieProxyMenu"_L1, u"设置为IE代理并生效",
                Plain<[](Core& c) { UseRowAsBrowserProxy(c.state); }>()},
    CommandSpec{Id::kStopBrowserProxy, "StopIEproxyMenu"_L1, u"停止IE代理",
                Plain<[](Core& c) { StopBrowserProxy(c.state); }>()},
    CommandSpec{Id::kClearList, "ClsLv"_L1, u"清空列表",
                Plain<[](Core& c) { c.lists.ClearList(); }>()},
    CommandSpec{Id::kQuit, "EndMenu"_L1, u"退出", Plain<[](Core& c) { c.quit(); }>()},
    CommandSpec{Id::kApplySettings, "Command3"_L1, u"应 用",
                Plain<[](Core& c) { c.state.ApplySettings(); }>()},
    CommandSpec{Id::kToggleApi, "Command4"_L1, u"启动接口", Plain<&StartOrStopApi>()},
    CommandSpec{Id::kShowExternalAddress, "Command5"_L1, u"本机IP",
                Plain<[](Core& c) { ShowExternalAddress(c.state); }>()},
    CommandSpec{Id::kGetIp, "getip"_L1, nullptr, &GetIp},
    CommandSpec{Id::kGetCount, "getcount"_L1, nullptr, &GetCount},
    CommandSpec{Id::kSetHarvestPages, "setrefpage"_L1, nullptr, &SetHarvestPages},
    CommandSpec{Id::kSetSources, "settype"_L1, nullptr, &SetSources},
    CommandSpec{Id::kSetHttpTarget, "sethttp"_L1, nullptr, &SetHttpTarget},
    CommandSpec{Id::kSetHttpsTarget, "sethttps"_L1, nullptr, &SetHttpsTarget},
    CommandSpec{Id::kGetTestUrlInfo, "gettesturlinfo"_L1, nullptr, &GetTestUrlInfo},
    CommandSpec{Id::kSetTimeout, "settestouttime"_L1, nullptr, &SetTimeout},
    CommandSpec{Id::kSetThreads, "settestthread"_L1, nullptr, &SetThreads},
    CommandSpec{Id::kSetUpdateInterval, "setrefreshtime"_L1, nullptr, &SetUpdateInterval},
    CommandSpec{Id::kSetRetestInterval, "settesttimes"_L1, nullptr, &SetRetestInterval},
    CommandSpec{Id::kSetSuccessFilter, "setsucratio"_L1, nullptr, &SetSuccessFilter},
    CommandSpec{Id::kSetAutoHarvest, "setautoget"_L1, nullptr, &SetAutoHarvest},
    CommandSpec{Id::kSetAutoRetest, "setautotest"_L1, nullptr, &SetAutoRetest},
    CommandSpec{Id::kMoveApiPort, "resetport"_L1, nullptr, &MoveApiPort},
};

// SpecOf looks commands up by position: a command missing from the table, or out of its
// place, fails the build.
constexpr bool IndexedById() {
  if (kCommands.size() != static_cast<std::size_t>(kCommandCount)) return false;
  for (std::size_t i = 0; i < kCommands.size(); ++i)
    if (static_cast<std::size_t>(kCommands[i].id) != i) return false;
  return true;
}
static_assert(IndexedById());

constexpr MenuEntry Item(CommandId id) { return {MenuEntry::kItem, id, {}, nullptr}; }
constexpr MenuEntry Separator(QLatin1StringView name) {
  return {MenuEntry::kSeparator, {}, name, nullptr};
}
constexpr MenuEntry Submenu(QLatin1StringView name, const char16_t* caption) {
  return {MenuEntry::kSubmenu, {}, name, caption};
}
constexpr MenuEntry EndSubmenu() { return {MenuEntry::kEndSubmenu, {}, {}, nullptr}; }

constexpr std::array kListMenu{
    Item(Id::kHarvest),
    Submenu("TestProxyMenu"_L1, u"验证"),
    Item(Id::kValidateSelected),
    Item(Id::kValidateAll),
    EndSubmenu(),
    Separator("SltM1"_L1),
    Item(Id::kImportFile),
    Submenu("WirteProxtMenu"_L1, u"导出结果"),
    Item(Id::kExportText),
    Item(Id::kExportCsv),
    EndSubmenu(),
    Separator("SltM2"_L1),
    Item(Id::kCopySelected),
    Item(Id::kPaste),
    Item(Id::kFind),
    Item(Id::kRemoveDuplicates),
    Item(Id::kCheckAddresses),
    Item(Id::kResetHistory),
    Separator("Sltx5"_L1),
    Item(Id::kSelectAll),
    Item(Id::kInvertSelection),
    Item(Id::kSelectNotValidated),
    Item(Id::kSelectSuccessful),
    Separator("Slt4"_L1),
    Item(Id::kUseAsBrowserProxy),
    Item(Id::kStopBrowserProxy),
    Separator("Slt3"_L1),
    Item(Id::kClearList),
};

// A menu item needs a caption to show.
constexpr bool MenuItemsHaveCaptions() {
  for (const MenuEntry& entry : kListMenu)
    if (entry.kind == MenuEntry::kItem &&
        kCommands[static_cast<std::size_t>(entry.command)].caption == nullptr)
      return false;
  return true;
}
static_assert(MenuItemsHaveCaptions());

}  // namespace

std::span<const CommandSpec> Commands() { return kCommands; }

const CommandSpec& SpecOf(CommandId id) { return kCommands[static_cast<std::size_t>(id)]; }

const CommandSpec* FindCommand(QStringView name) {
  const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                               [&](const CommandSpec& c) { return c.name == name; });
  return it == kCommands.end() ? nullptr : &*it;
}

CommandResult RunCommand(Core& core, CommandId id, const CommandArgs& args) {
  return SpecOf(id).run(core, args);
}

std::span<const MenuEntry> ListMenuLayout() { return kListMenu; }

}  // namespace ph
