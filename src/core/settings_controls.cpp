#include "core/settings_controls.h"

#include <algorithm>
#include <cstdlib>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using Kind = Control::Kind;

constexpr double kInt16Low = -32768;
constexpr double kInt16High = 32767;
constexpr double kInt32Low = -2147483648.0;
constexpr double kInt32High = 2147483647.0;

constexpr Control Text(QLatin1StringView name, TextField field, const char16_t* label,
                       const char16_t* hint, int max_length) {
  Control c{name, Kind::kText};
  c.text = field;
  c.label = label;
  c.hint = hint;
  c.max_length = max_length;
  return c;
}

constexpr Control Number(QLatin1StringView name, TextField field, const char16_t* label,
                         const char16_t* hint, int max_length, double low, double high) {
  Control c = Text(name, field, label, hint, max_length);
  c.number = true;
  c.low = low;
  c.high = high;
  return c;
}

constexpr Control Custom(QLatin1StringView name, TextField field, const char16_t* label,
                         const char16_t* placeholder) {
  Control c = Text(name, field, label, nullptr, 0);
  c.placeholder = placeholder;
  return c;
}

constexpr Control Check(QLatin1StringView name, IntField field, const char16_t* label,
                        const char16_t* caption = nullptr) {
  Control c{name, Kind::kCheck};
  c.value = field;
  c.label = label;
  c.caption = caption;
  c.hint = u"0/1";
  return c;
}

constexpr Control Choice(QLatin1StringView name, IntField field, const char16_t* label,
                         std::array<ChoiceOption, 4> options, int count) {
  Control c{name, Kind::kChoice};
  c.value = field;
  c.label = label;
  c.options = options;
  c.option_count = count;
  return c;
}

constexpr Control ShownOnly(Control c) {
  c.settable = false;
  return c;
}

using P = SettingsPanel;

constexpr std::array kControls{
    Number("Text3"_L1, &P::Text3, u"验证线程", u"1-100", 3, 1, 100),
    Number("Text2"_L1, &P::Text2, u"验证超时限制", u"ms", 4, kInt32Low, kInt32High),
    Check("Check10"_L1, &P::Check10, u"检测匿名度"),
    Check("Check11"_L1, &P::Check11, u"高速验证"),
    Number("Text20"_L1, &P::Text20, u"并发数", u"100-20000", 5, 100, 20000),
    Choice("Otn"_L1, &P::Otn, u"验证类型", {{{0, u"Http"}, {1, u"Https"}, {2, u"Http + Https"}}},
           3),
    Choice("GtnHttp"_L1, &P::GtnHttp, u"验证连接接口 Http",
           {{{0, u"新浪"}, {1, u"IP138"}, {2, u"中国站长"}, {7, u"自定义"}}}, 4),
    Custom("Text16"_L1, &P::Text16, u"Http 验证 URL", u"输入自定义URL"),
    Custom("Text17"_L1, &P::Text17, u"Http 特征字符", u"特征字符"),
    Choice("GtnHttps"_L1, &P::GtnHttps, u"验证连接接口 Https",
           {{{3, u"淘宝"}, {4, u"百度"}, {5, u"新浪微博"}, {6, u"自定义"}}}, 4),
    Custom("Text14"_L1, &P::Text14, u"Https 验证 URL", u"输入自定义URL"),
    Custom("Text15"_L1, &P::Text15, u"Https 特征字符", u"特征字符"),
    Number("Text1"_L1, &P::Text1, u"默认采集页数", u"页", 4, kInt16Low, kInt16High),
    Number("Text7"_L1, &P::Text7, u"采集延时", u"ms", 4, kInt32Low, kInt32High),
    Check("Check1"_L1, &P::Check1, u"西刺-高匿"),
    Check("Check6"_L1, &P::Check6, u"西刺-高匿 国外", u"国外"),
    Check("Check2"_L1, &P::Check2, u"西刺-普通"),
    Check("Check7"_L1, &P::Check7, u"西刺-普通 国外", u"国外"),
    Check("Check3"_L1, &P::Check3, u"66代理"),
    Check("Check9"_L1, &P::Check9, u"公开列表"),
    Number("Text11"_L1, &P::Text11, u"代理更新频率", u"秒", 4, kInt32Low, kInt32High),
    Number("Text13"_L1, &P::Text13, u"代理重验频率", u"秒", 6, kInt32Low, kInt32High),
    Number("Text12"_L1, &P::Text12, u"列表保存上限", u"行, 0 为不设上限", 6, kInt32Low, kInt32High),
    Check("Check5"_L1, &P::Check5, u"自动更新"),
    Check("Check4"_L1, &P::Check4, u"自动重验"),
    Check("Check8"_L1, &P::Check8, u"过滤成功率"),
    Number("Text18"_L1, &P::Text18, u"过滤成功率 验证次数", u"次", 6, kInt32Low, kInt32High),
    Number("Text19"_L1, &P::Text19, u"过滤成功率 最低成功率(%)", u"%", 6, kInt32Low, kInt32High),
    Number("Text8"_L1, &P::Text8, u"接口端口", u"1-65535", 5, 1, 65535),
    Text("Text10"_L1, &P::Text10, u"接口密码", nullptr, 0),
    Number("LeaseSec"_L1, &P::LeaseSec, u"共享验证租约时间", u"秒, 1-3600", 4, 1, 3600),
    ShownOnly(Text("Text9"_L1, &P::Text9, u"本机地址信息", nullptr, 0)),
    Check("Check12"_L1, &P::Check12, u"轮换代理"),
    Number("Text21"_L1, &P::Text21, u"轮换端口", u"1-65535", 5, 1, 65535),
    Text("Text22"_L1, &P::Text22, u"轮换地址", u"本机的 IPv4 或 IPv6 地址", 0),
    Text("Text23"_L1, &P::Text23, u"轮换密码", u"空为不设密码", 0),
    Text("Text24"_L1, &P::Text24, u"轮换最低成功率(%)", u"空为同过滤成功率", 6),
    Choice("Rtn"_L1, &P::Rtn, u"轮换策略",
           {{{0, u"随机"}, {1, u"轮询"}, {2, u"最快"}, {3, u"粘性"}}}, 4),
    Check("Check13"_L1, &P::Check13, u"状态页"),
    Number("Text25"_L1, &P::Text25, u"状态页端口", u"1-65535", 5, 1, 65535),
    Text("Text26"_L1, &P::Text26, u"状态页地址", u"本机的 IPv4 或 IPv6 地址", 0),
    Text("Text27"_L1, &P::Text27, u"状态页密码",
         u"空为不设密码; 地址不是本机回环地址时为空则用接口密码", 0),
};

template <typename Field, typename Member>
const Control& Find(Field field, Member member) {
  const auto it = std::find_if(kControls.begin(), kControls.end(),
                               [&](const Control& c) { return c.*member == field; });
  // Every field has its control: a field without one is a mistake of this table.
  if (it == kControls.end()) std::abort();
  return *it;
}

}  // namespace

std::span<const Control> Controls() { return kControls; }

const Control* FindControl(QStringView name) {
  const auto it = std::find_if(kControls.begin(), kControls.end(),
                               [&](const Control& c) { return c.name == name; });
  return it == kControls.end() ? nullptr : &*it;
}

const Control& ControlOf(TextField field) { return Find(field, &Control::text); }
const Control& ControlOf(IntField field) { return Find(field, &Control::value); }

}  // namespace ph
