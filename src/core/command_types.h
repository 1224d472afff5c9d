#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace ph {

// Every command of the program, whoever starts it: the menus and buttons of the window, the
// control API, the headless mode and the command line. The table of what each one does is
// commands/command_table.
enum class CommandId : uint8_t {
  // The list's context menu, the menu bar and the settings panel's buttons.
  kHarvest,              // GetProxyMenu "采集代理"
  kValidateSelected,     // Tmenu1 "验证选中"
  kValidateAll,          // Tmenu2 "验证所有"
  kStopValidation,       // StopTest "停止验证"
  kStopHarvest,          // StopGet "停止采集"
  kImportFile,           // LoadProxyMenu "导入代理"
  kExportText,           // WirteTxt "导出为文本"
  kExportCsv,            // WirteCsv "导出为Csv"
  kCopySelected,         // CopyInfo "复制选中代理信息"
  kPaste,                // GetgriMenu "粘贴数据"
  kFind,                 // FindInfo "查找"
  kRemoveDuplicates,     // Rdmenu "去除重复"
  kCheckAddresses,       // gotoAdrs "检查地址"
  kResetHistory,         // RestyzMenu "重置验证历史"
  kSelectAll,            // SltallMenu "全 选"
  kInvertSelection,      // SltallMenus "反 选"
  kSelectNotValidated,   // SltsucsMenu "选择暂未验证"
  kSelectSuccessful,     // SltsucMenu "选择验证成功"
  kUseAsBrowserProxy,    // SetieProxyMenu "设置为IE代理并生效"
  kStopBrowserProxy,     // StopIEproxyMenu "停止IE代理"
  kClearList,            // ClsLv "清空列表"
  kQuit,                 // EndMenu "退出"
  kApplySettings,        // Command3 "应 用"
  kToggleApi,            // Command4 "启动接口" / "停 止"
  kShowExternalAddress,  // Command5 "本机IP"
  // Settings and queries, as the control API asks them.
  kGetIp,              // row, count, minimum ratio %, area flag
  kGetCount,           //
  kSetHarvestPages,    // pages
  kSetSources,         // five 0/1: 西刺-高匿, 国外, 西刺-普通, 国外, 66代理
  kSetHttpTarget,      // target word or "zdy", URL, match text
  kSetHttpsTarget,     // the same for HTTPS
  kGetTestUrlInfo,     //
  kSetTimeout,         // ms
  kSetThreads,         // 1-100
  kSetUpdateInterval,  // seconds
  kSetRetestInterval,  // seconds
  kSetSuccessFilter,   // 0, or 1 with minimum validations and minimum %
  kSetAutoHarvest,     // 0/1
  kSetAutoRetest,      // 0/1
  kMoveApiPort,        // port
};
inline constexpr int kCommandCount = static_cast<int>(CommandId::kMoveApiPort) + 1;

// A command's arguments as the caller has them, texts read as numbers the lenient way.
class CommandArgs {
 public:
  CommandArgs() = default;
  explicit CommandArgs(QStringList values) : values_(std::move(values)) {}

  int Count() const { return static_cast<int>(values_.size()); }
  // The argument, or "" beyond the last.
  QString Text(int i) const { return values_.value(i); }
  double Number(int i) const;

 private:
  QStringList values_;
};

// What a command did.
struct CommandResult {
  enum class Outcome {
    kDone,       // done; text holds a query's answer
    kRefused,    // a value outside what the command takes; nothing or part of it done
    kMalformed,  // arguments the command cannot read at all
  };
  Outcome outcome = Outcome::kDone;
  QString text;

  static CommandResult Done(QString answer = {}) { return {Outcome::kDone, std::move(answer)}; }
  static CommandResult Refused() { return {Outcome::kRefused, {}}; }
  static CommandResult Malformed() { return {Outcome::kMalformed, {}}; }
  bool Ok() const { return outcome == Outcome::kDone; }
};

}  // namespace ph
