#include "app/config_file.h"

#include "core/bounded_read.h"
#include "core/numbers.h"
#include "core/settings.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The controls a config file may set: all but those that only show what the program found.
const Control* Settable(QStringView key) {
  const Control* control = FindControl(key);
  return control != nullptr && control->settable ? control : nullptr;
}

std::optional<int> WholeNumber(const QString& text) {
  static const QRegularExpression kWhole(u"^-?[0-9]{1,9}$"_s);
  if (!kWhole.match(text).hasMatch()) return std::nullopt;
  return text.toInt();
}

}  // namespace

std::optional<QString> ConfigValueRefusal(QStringView key, const QString& value) {
  const Control* control = Settable(key);
  if (control == nullptr) return u"未知的设置项"_s;
  switch (control->kind) {
    case Control::Kind::kText: {
      if (control->max_length > 0 && value.size() > control->max_length)
        return u"超过 %1 个字符"_s.arg(control->max_length);
      if (!control->number) return std::nullopt;
      static const QRegularExpression kNumber(u"^-?[0-9]+(\\.[0-9]+)?$"_s);
      if (!kNumber.match(value).hasMatch()) return u"不是数字"_s;
      const double number = ReadNumber(value);
      if (number < control->low || number > control->high)
        return u"应在 %1 到 %2 之间"_s.arg(control->low).arg(control->high);
      return std::nullopt;
    }
    case Control::Kind::kCheck: {
      const std::optional<int> state = WholeNumber(value);
      if (!state || (*state != 0 && *state != 1)) return u"应为 0 或 1"_s;
      return std::nullopt;
    }
    case Control::Kind::kChoice:
      break;
  }
  const std::optional<int> option = WholeNumber(value);
  QStringList allowed;
  for (const ChoiceOption& choice : control->Options()) {
    if (option == choice.value) return std::nullopt;
    allowed << QString::number(choice.value);
  }
  return u"应为 "_s + allowed.join(u", "_s) + u" 之一"_s;
}

namespace {

// The comment above a key: what the panel calls it, and the unit or the values it takes.
QString Comment(const Control& control) {
  QString comment = control.Label();
  if (control.kind == Control::Kind::kChoice) {
    QStringList options;
    for (const ChoiceOption& choice : control.Options())
      options << QString::number(choice.value) + u' ' + QString::fromUtf16(choice.caption);
    return comment + u": "_s + options.join(u", "_s);
  }
  if (control.hint != nullptr) comment += u" ("_s + QString::fromUtf16(control.hint) + u')';
  return comment;
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
    if (const std::optional<QString> refusal = ConfigValueRefusal(key, value)) {
      config.problems << where + key + u": "_s + *refusal;
      continue;
    }
    config.values.emplace_back(key, value);
  }
  return config;
}

void ApplyConfig(const ConfigFile& config, Settings& settings) {
  for (const auto& [key, value] : config.values) {
    const Control* control = Settable(key);
    if (control == nullptr) continue;
    if (control->kind == Control::Kind::kText) {
      settings.SetText(control->text, value);
    } else if (control->kind == Control::Kind::kCheck) {
      settings.SetCheck(control->value, value.toInt());
    } else {
      settings.Choose(control->value, value.toInt());
    }
  }
}

std::optional<QString> ReadConfigFile(const QString& path, Settings& settings) {
  const FileRead file = ReadRegularFile(path, kMostSettingsFileBytes);
  if (!file.problem.isEmpty()) return u"无法读取设置文件 "_s + path + u": "_s + file.problem;
  if (file.content.cut) return u"设置文件 "_s + path + u" 太大 (超过 1 MiB)"_s;
  const ConfigFile config = ParseConfig(ConfigFileText(file.content.bytes));
  if (!config.problems.isEmpty())
    return u"设置文件 "_s + path + u" 有误:\n  "_s + config.problems.join(u"\n  "_s);
  ApplyConfig(config, settings);
  return std::nullopt;
}

void UseServerDefaults(Settings& settings) { settings.SetCheck(&SettingsPanel::Check11, 1); }

QString DefaultConfigText(const Settings& settings) {
  const SettingsPanel& panel = settings.Panel();
  QString text =
      u"# ProxyHarvest 无界面模式的设置: 键为设置面板的控件名, 值为面板中填写的内容\r\n"_s
      u"[ProxyHarvest]\r\n"_s;
  for (const Control& control : Controls()) {
    if (!control.settable) continue;
    const QString value = control.kind == Control::Kind::kText
                              ? panel.*control.text
                              : QString::number(panel.*control.value);
    text += u"# "_s + Comment(control) + u"\r\n"_s + control.name + u'=' + value + u"\r\n"_s;
  }
  return text;
}

}  // namespace ph
