#include "console/console_setup.h"

#include "app/application.h"
#include "app/command_line.h"
#include "console/config_file.h"
#include "core/bounded_read.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ph {

using namespace Qt::StringLiterals;

ProgramDir ChosenDir(const CommandLine& line) {
  if (!line.dir.isEmpty()) return ProgramDir(QFileInfo(line.dir).absoluteFilePath());
  if (!line.config.isEmpty()) return ProgramDir(QFileInfo(line.config).absolutePath());
  return ProgramDir();
}

std::optional<QString> ReadSettings(const CommandLine& line, Application& application) {
  Settings& settings = application.State().Config();
  UseServerDefaults(settings);
  if (line.config.isEmpty()) return std::nullopt;
  QFile file(line.config);
  if (!file.open(QIODevice::ReadOnly)) return u"无法读取设置文件 "_s + line.config;
  const BoundedBytes bytes = ReadAtMost(file, kMostSettingsFileBytes);
  if (bytes.cut) return u"设置文件 "_s + line.config + u" 太大 (超过 1 MiB)"_s;
  const ConfigFile config = ParseConfig(ConfigFileText(bytes.bytes));
  if (!config.problems.isEmpty())
    return u"设置文件 "_s + line.config + u" 有误:\n  "_s + config.problems.join(u"\n  "_s);
  ApplyConfig(config, settings);
  // The public lists a server harvests are listed beside its settings.
  application.Harvest().SetSourcesPath(
      QFileInfo(line.config).absoluteDir().filePath(u"sources.ini"_s));
  return std::nullopt;
}

void StartCore(Application& application) {
  application.Start();
  Settings& settings = application.State().Config();
  settings.SelectOtn(settings.Panel().Otn);
}

}  // namespace ph
