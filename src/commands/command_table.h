#pragma once

#include "core/command_types.h"

#include <QLatin1StringView>
#include <QString>

#include <functional>
#include <random>
#include <span>

namespace ph {

class ApiServer;
class AppState;
class HarvestControl;
class ListCommands;
class ValidationRuns;

// What commands work on: the core, owned by the application root.
struct Core {
  AppState& state;
  ValidationRuns& runs;
  HarvestControl& harvest;
  ListCommands& lists;
  ApiServer& api;
  std::mt19937& random;        // the draws of "getip"
  std::function<void()> quit;  // "退出": the root's orderly end
};

// One command: its id, the name it goes by (a menu item's or button's objectName, or the
// control API's word), the caption a menu shows (none for commands without a menu item), and
// what it does.
struct CommandSpec {
  CommandId id;
  QLatin1StringView name;
  const char16_t* caption;
  CommandResult (*run)(Core& core, const CommandArgs& args);

  QString Name() const { return QString(name); }
  QString Caption() const { return caption != nullptr ? QString::fromUtf16(caption) : QString(); }
};

// The one table, indexed by id.
std::span<const CommandSpec> Commands();
const CommandSpec& SpecOf(CommandId id);
// The command of that name, or null.
const CommandSpec* FindCommand(QStringView name);
CommandResult RunCommand(Core& core, CommandId id, const CommandArgs& args = {});

// Where commands sit in a menu, in menu order.
struct MenuEntry {
  enum Kind { kItem, kSeparator, kSubmenu, kEndSubmenu };
  Kind kind;
  CommandId command;        // kItem
  QLatin1StringView name;   // a separator's or submenu's name
  const char16_t* caption;  // a submenu's caption; commands bring their own
};

// The list's context menu Zxmenu, also reachable from the menu bar.
std::span<const MenuEntry> ListMenuLayout();

}  // namespace ph
