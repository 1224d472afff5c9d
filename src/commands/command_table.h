#pragma once

#include <QLatin1StringView>
#include <QString>

#include <functional>
#include <span>
#include <vector>

namespace ph {

// One user command: the name its menu item carries, its caption, and what it does on the core.
struct Command {
  QString name;
  QString caption;
  std::function<void()> run;
};

// Every user command, whoever starts it: the menus, the control API or the headless mode.
class CommandTable {
 public:
  void Add(Command command);
  const Command* Find(QStringView name) const;
  // False when no command has that name.
  bool Run(QStringView name) const;

 private:
  std::vector<Command> commands_;
};

// Where commands sit in a menu, in menu order.
struct MenuEntry {
  enum Kind { kItem, kSeparator, kSubmenu, kEndSubmenu };
  Kind kind;
  QLatin1StringView name;   // the command, separator or submenu name
  const char16_t* caption;  // a submenu's caption; commands bring their own
};

// The list's context menu Zxmenu, also reachable from the menu bar.
std::span<const MenuEntry> ListMenuLayout();

}  // namespace ph
