// The list's context menu Zxmenu: every list command, in menu order.
#include "core/app_state.h"
#include "iploc/ip_location.h"
#include "listcmd/list_commands.h"
#include "listio/csv_export.h"
#include "listio/paste_import.h"
#include "listio/proxy_file.h"
#include "ui/main_window.h"
#include "validate/validation_run.h"

#include <QMenu>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

template <typename Slot>
void AddItem(QMenu* menu, const QString& name, const QString& caption, Slot slot) {
  menu->addAction(caption, slot)->setObjectName(name);
}

void AddSeparator(QMenu* menu, const QString& name) { menu->addSeparator()->setObjectName(name); }

}  // namespace

void MainWindow::BuildListMenu(QMenu* menu) {
  menu->setObjectName(u"Zxmenu"_s);
  AppState& state = *state_;
  ListCommands& commands = *list_commands_;

  QMenu* validate = menu->addMenu(u"验证"_s);
  validate->setObjectName(u"TestProxyMenu"_s);
  validate->menuAction()->setObjectName(u"TestProxyMenu"_s);
  AddItem(validate, u"Tmenu1"_s, u"验证选中"_s, [this] { runs_->ValidateSelected(); });
  AddItem(validate, u"Tmenu2"_s, u"验证所有"_s, [this] { runs_->ValidateAll(); });
  AddSeparator(menu, u"SltM1"_s);

  AddItem(menu, u"LoadProxyMenu"_s, u"导入代理"_s, [&state] { ImportProxyFile(state); });
  QMenu* exports = menu->addMenu(u"导出结果"_s);
  exports->setObjectName(u"WirteProxtMenu"_s);
  exports->menuAction()->setObjectName(u"WirteProxtMenu"_s);
  AddItem(exports, u"WirteTxt"_s, u"导出为文本"_s, [&state] { ExportProxyFile(state); });
  AddItem(exports, u"WirteCsv"_s, u"导出为Csv"_s, [&state] { ExportCsv(state); });
  AddSeparator(menu, u"SltM2"_s);

  AddItem(menu, u"CopyInfo"_s, u"复制选中代理信息"_s, [&commands] { commands.CopySelected(); });
  AddItem(menu, u"GetgriMenu"_s, u"粘贴数据"_s, [&state] {
    PasteImport(state, [&state](const QString& ip) {
      return LookupIpLocation(ip, state.Dir(), state.EndpointTable());
    });
  });
  AddItem(menu, u"FindInfo"_s, u"查找"_s, [&commands] { commands.FindAndSelect(); });
  AddItem(menu, u"Rdmenu"_s, u"去除重复"_s, [&commands] { commands.RemoveDuplicates(); });
  AddItem(menu, u"gotoAdrs"_s, u"检查地址"_s, [&state] { CheckAddresses(state); });
  AddItem(menu, u"RestyzMenu"_s, u"重置验证历史"_s, [&commands] { commands.ResetHistory(); });
  AddSeparator(menu, u"Sltx5"_s);

  AddItem(menu, u"SltallMenu"_s, u"全 选"_s, [&commands] { commands.SelectAll(); });
  AddItem(menu, u"SltallMenus"_s, u"反 选"_s, [&commands] { commands.InvertSelection(); });
  AddItem(menu, u"SltsucsMenu"_s, u"选择暂未验证"_s, [&commands] { commands.SelectNotValidated(); });
  AddItem(menu, u"SltsucMenu"_s, u"选择验证成功"_s, [&commands] { commands.SelectSuccessful(); });
  AddSeparator(menu, u"Slt3"_s);

  AddItem(menu, u"ClsLv"_s, u"清空列表"_s, [&commands] { commands.ClearList(); });
}

}  // namespace ph
