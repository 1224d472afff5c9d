#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace ph {

class Settings;

// The settings of the headless mode, as an INI file whose keys are the settings panel's
// control names (Text1 … Text19, Check1 …, Otn for the validation type, GtnHttp and GtnHttps
// for the test targets) and whose values are what a user types or ticks in the panel.
struct ConfigFile {
  std::vector<std::pair<QString, QString>> values;  // key, value; in file order
  QStringList problems;                             // "line N: key: reason", one per refused line
};

// Reads the file's text: "key=value" lines, "#" and ";" comment lines, "[section]" lines and
// blank lines. Unknown keys, keys given twice and values the panel would not take are refused.
ConfigFile ParseConfig(const QString& text);
// The text of a file: UTF-8, or GBK when it is not valid UTF-8.
QString ConfigFileText(const QByteArray& bytes);

// Why the panel would not take the value for the key (a control name); nothing when it would.
std::optional<QString> ConfigValueRefusal(QStringView key, const QString& value);

// Writes the values into the panel, as a user would.
void ApplyConfig(const ConfigFile& config, Settings& settings);

// Reads the settings file (at most 1 MiB) and writes its values into the panel; the reason,
// naming the file, when it cannot be read or holds a value the panel would not take (then
// nothing of it is written).
std::optional<QString> ReadConfigFile(const QString& path, Settings& settings);

// Where a server's defaults differ from the window's: it validates with 高速验证, since its
// lists are long and mostly dead.
void UseServerDefaults(Settings& settings);

// The defaults in that format, with a comment naming each field.
QString DefaultConfigText(const Settings& settings);

}  // namespace ph
