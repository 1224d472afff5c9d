#include "console/console_setup.h"

#include "app/application.h"
#include "app/command_line.h"
#include "app/config_file.h"

#include <QDir>
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
  if (std::optional<QString> refusal = ReadConfigFile(line.config, settings)) return refusal;
  // The public lists a server harvests are listed beside its settings.
  application.Harvest().SetSourcesPath(
      QFileInfo(line.config).absoluteDir().filePath(u"sources.ini"_s));
  return std::nullopt;
}

}  // namespace ph
