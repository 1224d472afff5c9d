#include "api/api_commands.h"

#include "api/getip.h"
#include "api/url_codec.h"
#include "core/app_state.h"
#include "core/numbers.h"

#include <array>
#include <cmath>
#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The commands that change settings wait this long before answering, as they always have.
constexpr int kSettleMs = 50;
// An unknown command closes its connection after this long.
constexpr int kUnknownCloseMs = 50;

ApiReply Answer(const QString& body, int delay_ms = 0) {
  return {ApiReply::Kind::kAnswer, body, delay_ms, nullptr};
}
ApiReply Success(int delay_ms = 0) { return Answer(u"1|success"_s, delay_ms); }
ApiReply Error() { return Answer(u"0|error"_s); }
ApiReply Fail() { return {ApiReply::Kind::kFail, {}, 0, nullptr}; }

double Number(const QStringList& e, int i) { return ReadNumber(e[i]); }

// A number as a user types it into a field: 5, 2.5, -3.
QString FieldText(double value) {
  if (std::trunc(value) == value && std::fabs(value) < 1e15)
    return QString::number(static_cast<long long>(value));
  return QString::number(value, 'g', 15);
}

// Writes the field and applies the panel; the answer says whether it was taken.
ApiReply SetAndApply(ApiContext& c, TextField field, double value, bool report_refusal) {
  c.state.Config().SetText(field, FieldText(value));
  const bool applied = c.state.ApplySettings();
  if (!applied && report_refusal) return Error();
  return Success(kSettleMs);
}

ApiReply GetIp(const QStringList& e, ApiContext& c) {
  return Answer(BuildGetIpBody(c.state.List(), RoundToInt32(Number(e, 2)),
                               RoundToInt16(Number(e, 3)), RoundToInt16(Number(e, 4)),
                               Number(e, 5) != 0, c.random));
}

ApiReply GetCount(const QStringList&, ApiContext& c) {
  return Answer(u"1|"_s + QString::number(c.state.List().RowCount()));
}

ApiReply SetRefPage(const QStringList& e, ApiContext& c) {
  c.state.Config().SetText(&SettingsPanel::Text1, FieldText(Number(e, 2)));
  c.state.ApplySettings();
  return Success();
}

ApiReply SetType(const QStringList& e, ApiContext& c) {
  // The order of the boxes is the order of the arguments; a value a box cannot take ends
  // the request, the boxes written before it keep their new values.
  constexpr std::array<CheckField, 5> kBoxes{&SettingsPanel::Check1, &SettingsPanel::Check6,
                                             &SettingsPanel::Check2, &SettingsPanel::Check7,
                                             &SettingsPanel::Check3};
  for (std::size_t i = 0; i < kBoxes.size(); ++i) {
    const double value = RoundHalfEven(Number(e, static_cast<int>(i) + 2));
    if (value != 0 && value != 1 && value != 2) return Fail();
    c.state.Config().SetCheck(kBoxes[i], static_cast<int>(value));
  }
  c.state.ApplySettings();
  return Success();
}

ApiReply ResetPort(const QStringList& e, ApiContext& c) {
  const double port = Number(e, 2);
  if (port < 1 || port > 65535) return Error();
  return c.reset_port(static_cast<int>(port));
}

// Selects a test target by name; "zdy" brings its URL and match text.
struct Target {
  QLatin1StringView name;
  int gtn;
};
constexpr std::array<Target, 4> kHttpsTargets{
    {{"weibo"_L1, 5}, {"baidu"_L1, 4}, {"taobao"_L1, 3}, {"zdy"_L1, 6}}};
constexpr std::array<Target, 4> kHttpTargets{
    {{"sina"_L1, 0}, {"ip138"_L1, 1}, {"chinaz"_L1, 2}, {"zdy"_L1, 7}}};

ApiReply SetTarget(const QStringList& e, ApiContext& c, std::span<const Target> targets,
                   TextField url, TextField text) {
  const auto target =
      std::find_if(targets.begin(), targets.end(), [&](const Target& t) { return e[2] == t.name; });
  // A name outside the table selects nothing, and says so.
  if (target == targets.end()) return Error();
  if (target->name == "zdy"_L1) {
    if (e.size() < 5) return Fail();
    c.state.Config().SelectGtn(target->gtn);
    c.state.Config().SetText(url, e[3]);
    c.state.Config().SetText(text, e[4]);
  } else {
    c.state.Config().SelectGtn(target->gtn);
  }
  c.state.ApplySettings();
  return Success();
}

ApiReply SetHttps(const QStringList& e, ApiContext& c) {
  return SetTarget(e, c, kHttpsTargets, &SettingsPanel::Text14, &SettingsPanel::Text15);
}

ApiReply SetHttp(const QStringList& e, ApiContext& c) {
  return SetTarget(e, c, kHttpTargets, &SettingsPanel::Text16, &SettingsPanel::Text17);
}

ApiReply GetTestUrlInfo(const QStringList&, ApiContext& c) { return Answer(TestUrlInfo(c.state)); }

ApiReply SetTestOutTime(const QStringList& e, ApiContext& c) {
  return SetAndApply(c, &SettingsPanel::Text2, Number(e, 2), false);
}
ApiReply SetTestThread(const QStringList& e, ApiContext& c) {
  return SetAndApply(c, &SettingsPanel::Text3, Number(e, 2), true);
}
ApiReply SetRefreshTime(const QStringList& e, ApiContext& c) {
  return SetAndApply(c, &SettingsPanel::Text11, Number(e, 2), false);
}
ApiReply SetTestTimes(const QStringList& e, ApiContext& c) {
  return SetAndApply(c, &SettingsPanel::Text13, Number(e, 2), false);
}

ApiReply SetSucRatio(const QStringList& e, ApiContext& c) {
  Settings& settings = c.state.Config();
  if (Number(e, 2) != 1) {
    settings.SetCheck(&SettingsPanel::Check8, 0);
    c.state.ApplySettings();
    return Success();
  }
  if (e.size() != 5) return Error();
  settings.SetCheck(&SettingsPanel::Check8, 1);
  settings.SetText(&SettingsPanel::Text18, FieldText(Number(e, 3)));
  settings.SetText(&SettingsPanel::Text19, FieldText(Number(e, 4)));
  c.state.ApplySettings();
  return Success();
}

ApiReply ResetHistory(const QStringList&, ApiContext& c) {
  c.run_command(u"RestyzMenu");
  return Success();
}

// The automatic modes, switched as a click on their box would.
template <CheckField kBox, int kValue>
ApiReply SwitchMode(const QStringList&, ApiContext& c) {
  c.state.Config().SetCheck(kBox, kValue);
  return Success();
}

// How many elements (e0..en) a command needs: exactly n, at least n, or any.
enum class Count { kExactly, kAtLeast, kAny };

struct ApiCommand {
  QLatin1StringView name;
  Count count;
  int n;
  ApiReply (*run)(const QStringList& e, ApiContext& c);
};

constexpr std::array<ApiCommand, 18> kCommands{{
    {"getip"_L1, Count::kExactly, 5, &GetIp},
    {"getcount"_L1, Count::kExactly, 2, &GetCount},
    {"setrefpage"_L1, Count::kExactly, 2, &SetRefPage},
    {"settype"_L1, Count::kExactly, 6, &SetType},
    {"resetport"_L1, Count::kExactly, 2, &ResetPort},
    {"sethttps"_L1, Count::kAtLeast, 2, &SetHttps},
    {"sethttp"_L1, Count::kAtLeast, 2, &SetHttp},
    {"gettesturlinfo"_L1, Count::kExactly, 2, &GetTestUrlInfo},
    {"settestouttime"_L1, Count::kExactly, 2, &SetTestOutTime},
    {"settestthread"_L1, Count::kExactly, 2, &SetTestThread},
    {"setrefreshtime"_L1, Count::kExactly, 2, &SetRefreshTime},
    {"settesttimes"_L1, Count::kExactly, 2, &SetTestTimes},
    {"setsucratio"_L1, Count::kAtLeast, 2, &SetSucRatio},
    {"resethistory"_L1, Count::kExactly, 1, &ResetHistory},
    {"startget"_L1, Count::kAny, 0, &SwitchMode<&SettingsPanel::Check5, 1>},
    {"stopget"_L1, Count::kAny, 0, &SwitchMode<&SettingsPanel::Check5, 0>},
    {"starttest"_L1, Count::kAny, 0, &SwitchMode<&SettingsPanel::Check4, 1>},
    {"stoptest"_L1, Count::kAny, 0, &SwitchMode<&SettingsPanel::Check4, 0>},
}};

bool CountFits(const ApiCommand& command, int n) {
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

QString TargetInfo(int gtn, const QString& url, const QString& text) {
  static constexpr std::array<const char16_t*, 8> kNames{u"sina",  u"ip138", u"chinaz", u"taobao",
                                                         u"baidu", u"weibo", u"zdy",    u"zdy"};
  if (gtn == 6 || gtn == 7) {
    return u"Type=zdy&Testurl="_s + UrlEncode(url) + u"&teststr="_s + UrlEncode(text) + u"<br/>"_s;
  }
  return u"Type="_s + QString::fromUtf16(kNames[static_cast<std::size_t>(gtn)]) + u"<br/>"_s;
}

}  // namespace

QString TestUrlInfo(const AppState& state) {
  const SettingsPanel& panel = state.Config().Panel();
  const WorkingValues& working = state.Config().Working();
  return TargetInfo(panel.GtnHttp, working.HttpTestUrl, working.HttpMatchText) +
         u"\r\n<br/>\r\n"_s +
         TargetInfo(panel.GtnHttps, working.HttpsTestUrl, working.HttpsMatchText);
}

ApiReply DispatchApiCommand(const QStringList& elements, ApiContext& context) {
  if (elements.size() < 2) return {};
  const int n = static_cast<int>(elements.size()) - 1;
  for (const ApiCommand& command : kCommands) {
    if (elements[1] != command.name) continue;
    if (!CountFits(command, n)) return {};  // ignored: no answer, connection kept
    return command.run(elements, context);
  }
  return {ApiReply::Kind::kCloseQuietly, {}, kUnknownCloseMs, nullptr};
}

}  // namespace ph
