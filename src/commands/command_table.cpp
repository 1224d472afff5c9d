#include "commands/command_table.h"

#include <algorithm>
#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr MenuEntry Item(QLatin1StringView name) { return {MenuEntry::kItem, name, nullptr}; }
constexpr MenuEntry Separator(QLatin1StringView name) {
  return {MenuEntry::kSeparator, name, nullptr};
}
constexpr MenuEntry Submenu(QLatin1StringView name, const char16_t* caption) {
  return {MenuEntry::kSubmenu, name, caption};
}
constexpr MenuEntry EndSubmenu() { return {MenuEntry::kEndSubmenu, {}, nullptr}; }

constexpr std::array kListMenu{
    Item("GetProxyMenu"_L1),
    Submenu("TestProxyMenu"_L1, u"验证"),
    Item("Tmenu1"_L1),
    Item("Tmenu2"_L1),
    EndSubmenu(),
    Separator("SltM1"_L1),
    Item("LoadProxyMenu"_L1),
    Submenu("WirteProxtMenu"_L1, u"导出结果"),
    Item("WirteTxt"_L1),
    Item("WirteCsv"_L1),
    EndSubmenu(),
    Separator("SltM2"_L1),
    Item("CopyInfo"_L1),
    Item("GetgriMenu"_L1),
    Item("FindInfo"_L1),
    Item("Rdmenu"_L1),
    Item("gotoAdrs"_L1),
    Item("RestyzMenu"_L1),
    Separator("Sltx5"_L1),
    Item("SltallMenu"_L1),
    Item("SltallMenus"_L1),
    Item("SltsucsMenu"_L1),
    Item("SltsucMenu"_L1),
    Separator("Slt4"_L1),
    Item("SetieProxyMenu"_L1),
    Item("StopIEproxyMenu"_L1),
    Separator("Slt3"_L1),
    Item("ClsLv"_L1),
};

}  // namespace

void CommandTable::Add(Command command) { commands_.push_back(std::move(command)); }

const Command* CommandTable::Find(QStringView name) const {
  const auto it = std::find_if(commands_.begin(), commands_.end(),
                               [&](const Command& c) { return c.name == name; });
  return it == commands_.end() ? nullptr : &*it;
}

bool CommandTable::Run(QStringView name) const {
  const Command* command = Find(name);
  if (command == nullptr) return false;
  command->run();
  return true;
}

std::span<const MenuEntry> ListMenuLayout() { return kListMenu; }

}  // namespace ph
