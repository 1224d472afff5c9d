#include "console/config_file.h"

#include "core/numbers.h"
#include "core/settings.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <array>
#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// What the panel shows beside each field.
struct Label {
  QLatin1StringView name;
  const char16_t* text;
};
constexpr std::array<Label, 28> kLabels{{
    {"Text1"_L1, u"默认采集页数 (页)"},
    {"Text2"_L1, u"验证超时限制 (ms)"},
    {"Text3"_L1, u"验证线程 (1-100)"},
    {"Text7"_L1, u"采集延时 (ms)"},
    {"Text8"_L1, u"接口端口"},
    {"Text10"_L1, u"接口密码"},
    {"Text11"_L1, u"代理更新频率 (秒)"},
    {"Text12"_L1, u"列表保存上限 (行, 0 为不设上限)"},
    {"Text13"_L1, u"代理重验频率 (秒)"},
    {"Text14"_L1, u"Https 自定义 URL"},
    {"Text15"_L1, u"Https 自定义特征字符"},
    {"Text16"_L1, u"Http 自定义 URL"},
    {"Text17"_L1, u"Http 自定义特征字符"},
    {"Text18"_L1, u"过滤成功率: 验证次数"},
    {"Text19"_L1, u"过滤成功率: 最低成功率(%)"},
    {"Check1"_L1, u"西刺-高匿 (0/1)"},
    {"Check2"_L1, u"西刺-普通 (0/1)"},
    {"Check3"_L1, u"66代理 (0/1)"},
    {"Check4"_L1, u"自动重验 (0/1)"},
    {"Check5"_L1, u"自动更新 (0/1)"},
    {"Check6"_L1, u"西刺-高匿 国外 (0/1)"},
    {"Check7"_L1, u"西刺-普通 国外 (0/1)"},
    {"Check8"_L1, u"过滤成功率 (0/1)"},
    {"Otn"_L1, u"验证类型: 0 Http, 1 Https, 2 Http + Https"},
    {"GtnHttp"_L1, u"Http 验证接口: 0 新浪, 1 IP138, 2 中国站长, 7 自定义"},
    {"GtnHttps"_L1, u"Https 验证接口: 3 淘宝, 4 百度, 5 新浪微博, 6 自定义"},
    {"Check9"_L1, u"公开列表 (0/1)"},
    {"Check10"_L1, u"检测匿名度 (0/1)"},
}};

// Fields that hold a number, and the range ApplySettings or the API start needs.
struct NumberRule {
  QLatin1StringView name;
  double low;
  double high;
};
constexpr std::array<NumberRule, 10> kNumbers{{
    {"Text1"_L1, -32768, 32767},
    {"Text2"_L1, -2147483648.0, 2147483647.0},
    {"Text3"_L1, 1, 100},
    {"Text7"_L1, -2147483648.0, 2147483647.0},
    {"Text8"_L1, 1, 65535},
    {"Text11"_L1, -2147483648.0, 2147483647.0},
    {"Text12"_L1, -2147483648.0, 2147483647.0},
    {"Text13"_L1, -2147483648.0, 2147483647.0},
    {"Text18"_L1, -2147483648.0, 2147483647.0},
    {"Text19"_L1, -2147483648.0, 2147483647.0},
}};

// The options of the three choices.
struct Choice {
  QLatin1StringView name;
  std::array<int, 4> options;
  int count;
};
constexpr std::array<Choice, 3> kChoices{{
    {"Otn"_L1, {0, 1, 2, 0}, 3},
    {"GtnHttp"_L1, {0, 1, 2, 7}, 4},
    {"GtnHttps"_L1, {3, 4, 5, 6}, 4},
}};

const TextControl* TextNamed(QStringView key) {
  for (const TextControl& control : TextControls())
    if (control.name == key && control.name != "Text9"_L1) return &control;  // Text9 only shows
  return nullptr;
}

const CheckControl* CheckNamed(QStringView key) {
  for (const CheckControl& control : CheckControls())
    if (control.name == key) return &control;
  return nullptr;
}

const Choice* ChoiceNamed(QStringView key) {
  for (const Choice& choice : kChoices)
    if (choice.name == key) return &choice;
  return nullptr;
}

std::optional<int> WholeNumber(const QString& text) {
  static const QRegularExpression kWhole(u"^-?[0-9]{1,9}$"_s);
  if (!kWhole.match(text).hasMatch()) return std::nullopt;
  return text.toInt();
}

// Why the panel would not take the value for the key; nothing when it would.
std::optional<QString> Refusal(QStringView key, const QString& value) {
  if (const TextControl* text = TextNamed(key)) {
    if (text->max_length > 0 && value.size() > text->max_length)
      return u"超过 %1 个字符"_s.arg(text->max_length);
    for (const NumberRule& rule : kNumbers) {
      if (rule.name != key) continue;
      static const QRegularExpression kNumber(u"^-?[0-9]+(\\.[0-9]+)?$"_s);
      if (!kNumber.match(value).hasMatch()) return u"不是数字"_s;
      const double number = ReadNumber(value);
      if (number < rule.low || number > rule.high)
        return u"应在 %1 到 %2 之间"_s.arg(rule.low).arg(rule.high);
    }
    return std::nullopt;
  }
  if (CheckNamed(key) != nullptr) {
    const std::optional<int> state = WholeNumber(value);
    if (!state || (*state != 0 && *state != 1)) return u"应为 0 或 1"_s;
    return std::nullopt;
  }
  if (const Choice* choice = ChoiceNamed(key)) {
    const std::optional<int> option = WholeNumber(value);
    for (int i = 0; option && i < choice->count; ++i)
      if (choice->options[static_cast<std::size_t>(i)] == *option) return std::nullopt;
    QStringList allowed;
    for (int i = 0; i < choice->count; ++i)
      allowed << QString::number(choice->options[static_cast<std::size_t>(i)]);
    return u"应为 "_s + allowed.join(u", "_s) + u" 之一"_s;
  }
  return u"未知的设置项"_s;
}

}  // namespace

QString ConfigFileText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) {
    QStringDecoder gbk("GB18030");
    text = gbk.isValid() ? gbk.decode(bytes) : QString::fromLatin1(bytes);
  }
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return text;
}

ConfigFile ParseConfig(const QString& text) {
  ConfigFile config;
  QSet<QString> seen;
  const QStringList lines = text.split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString line = lines[i].trimmed();
    if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') ||
        (line.startsWith(u'[') && line.endsWith(u']')))
      continue;
    const QString where = u"第 %1 行: "_s.arg(i + 1);
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0) {
      config.problems << where + line.left(40) + u": 不是 键=值"_s;
      continue;
    }
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (seen.contains(key)) {
      config.problems << where + key + u": 重复的设置项"_s;
      continue;
    }
    seen.insert(key);
    if (const std::optional<QString> refusal = Refusal(key, value)) {
      config.problems << where + key + u": "_s + *refusal;
      continue;
    }
    config.values.emplace_back(key, value);
  }
  return config;
}

void ApplyConfig(const ConfigFile& config, Settings& settings) {
  for (const auto& [key, value] : config.values) {
    if (const TextControl* text = TextNamed(key)) {
      settings.SetText(text->field, value);
    } else if (const CheckControl* check = CheckNamed(key)) {
      settings.SetCheck(check->field, value.toInt());
    } else if (key == "Otn"_L1) {
      settings.SelectOtn(value.toInt());
    } else {
      settings.SelectGtn(value.toInt());
    }
  }
}

QString DefaultConfigText(const Settings& settings) {
  const SettingsPanel& panel = settings.Panel();
  QString text =
      u"# ProxyHarvest 无界面模式的设置: 键为设置面板的控件名, 值为面板中填写的内容\r\n"_s
      u"[ProxyHarvest]\r\n"_s;
  auto write = [&text](QLatin1StringView key, const QString& value) {
    for (const Label& label : kLabels)
      if (label.name == key) text += u"# "_s + QString::fromUtf16(label.text) + u"\r\n"_s;
    text += key + u'=' + value + u"\r\n"_s;
  };
  for (const TextControl& control : TextControls())
    if (control.name != "Text9"_L1) write(control.name, panel.*control.field);
  for (const CheckControl& control : CheckControls())
    write(control.name, QString::number(panel.*control.field));
  write("Otn"_L1, QString::number(panel.Otn));
  write("GtnHttp"_L1, QString::number(panel.GtnHttp));
  write("GtnHttps"_L1, QString::number(panel.GtnHttps));
  return text;
}

}  // namespace ph
