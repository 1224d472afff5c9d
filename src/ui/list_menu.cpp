// The list's context menu Zxmenu, built from the command table in menu order.
#include "app/application.h"
#include "commands/command_table.h"
#include "ui/main_window.h"

#include <QMenu>

namespace ph {

using namespace Qt::StringLiterals;

void MainWindow::BuildListMenu(QMenu* menu) {
  menu->setObjectName(u"Zxmenu"_s);
  QMenu* current = menu;
  // A separator goes in only between two groups that have items.
  QString separator;
  bool has_items = false;
  auto group_starts = [&] {
    if (!separator.isEmpty() && has_items) menu->addSeparator()->setObjectName(separator);
    separator.clear();
    has_items = true;
  };
  for (const MenuEntry& entry : ListMenuLayout()) {
    switch (entry.kind) {
      case MenuEntry::kItem:
        if (current == menu) group_starts();
        AddCommand(current, entry.command);
        break;
      case MenuEntry::kSeparator:
        separator = QString(entry.name);
        break;
      case MenuEntry::kSubmenu:
        group_starts();
        current = menu->addMenu(QString::fromUtf16(entry.caption));
        current->setObjectName(QString(entry.name));
        current->menuAction()->setObjectName(QString(entry.name));
        break;
      case MenuEntry::kEndSubmenu:
        current = menu;
        break;
    }
  }
}

}  // namespace ph
