#include "commands/query_commands.h"

#include "api/getip.h"
#include "api/url_codec.h"
#include "commands/command_table.h"
#include "core/app_state.h"
#include "core/numbers.h"

#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString TargetInfo(int gtn, const QString& url, const QString& text) {
  static constexpr std::array<const char16_t*, 8> kWords{u"sina",  u"ip138", u"chinaz", u"taobao",
                                                         u"baidu", u"weibo", u"zdy",    u"zdy"};
  if (gtn == 6 || gtn == 7) {
    return u"Type=zdy&Testurl="_s + UrlEncode(url) + u"&teststr="_s + UrlEncode(text) + u"<br/>"_s;
  }
  return u"Type="_s + QString::fromUtf16(kWords[static_cast<std::size_t>(gtn)]) + u"<br/>"_s;
}

}  // namespace

CommandResult GetIp(Core& core, const CommandArgs& args) {
  return CommandResult::Done(
      BuildGetIpBody(core.state.List(), RoundToInt32(args.Number(0)), RoundToInt16(args.Number(1)),
                     RoundToInt16(args.Number(2)), args.Number(3) != 0, core.random));
}

CommandResult GetCount(Core& core, const CommandArgs&) {
  return CommandResult::Done(QString::number(core.state.List().RowCount()));
}

CommandResult GetTestUrlInfo(Core& core, const CommandArgs&) {
  return CommandResult::Done(TestUrlInfo(core.state));
}

QString TestUrlInfo(const AppState& state) {
  const SettingsPanel& panel = state.Config().Panel();
  const WorkingValues& working = state.Config().Working();
  return TargetInfo(panel.GtnHttp, working.HttpTestUrl, working.HttpMatchText) +
         u"\r\n<br/>\r\n"_s +
         TargetInfo(panel.GtnHttps, working.HttpsTestUrl, working.HttpsMatchText);
}

}  // namespace ph
