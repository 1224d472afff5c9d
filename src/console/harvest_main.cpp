#include "console/harvest_main.h"

#include "app/application.h"
#include "app/command_line.h"
#include "console/console_setup.h"
#include "console/one_shot.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Only the public lists of the file: the other sources unticked.
void UseOnlyListsOf(const QString& sources, Application& application) {
  Settings& settings = application.State().Config();
  for (const CheckField box :
       {&SettingsPanel::Check1, &SettingsPanel::Check2, &SettingsPanel::Check3,
        &SettingsPanel::Check6, &SettingsPanel::Check7})
    settings.SetCheck(box, 0);
  settings.SetCheck(&SettingsPanel::Check9, 1);
  application.Harvest().SetSourcesPath(QFileInfo(sources).absoluteFilePath());
}

}  // namespace

int HarvestMain(int argc, char** argv, const CommandLine& line) {
  const QString command = u"harvest"_s;
  QCoreApplication app(argc, argv);
  NameTheProgram();
  Application application(ChosenDir(line));
  AppState& state = application.State();
  if (const std::optional<QString> refusal = ReadSettings(line, application))
    return RefuseToRun(command, *refusal);
  if (!line.sources.isEmpty()) {
    if (!QFileInfo(line.sources).isFile())
      return RefuseToRun(command, u"找不到来源文件: "_s + line.sources);
    UseOnlyListsOf(line.sources, application);
  }
  OneShot one_shot(application, Job::kHarvest, line.quiet);
  if (const std::optional<QString> failure = one_shot.KeepListIn(line.db))
    return RefuseToRun(command, *failure);
  // The addresses are what is asked for: no web look-up of every row's region at the end.
  application.Harvest().SetRegionFill(false);
  // Rows only ever arrive at the end of the list, a batch at a time.
  int written = 0;
  QObject::connect(&state.List(), &ProxyList::rowsInserted, &application,
                   [&](const QModelIndex&, int first, int last) {
                     QString batch;
                     for (int row = first + 1; row <= last + 1; ++row)
                       batch += state.List().CellText(row, kAddress) + u'\n';
                     WriteText(stdout, batch);
                     written += last - first + 1;
                   });

  const int code = one_shot.Exec([&] { application.Run(CommandId::kHarvest); });
  one_shot.Progress().Finish((one_shot.Interrupted() ? u"已中断: 采集到 %1 个地址, 用时 %2 秒"_s
                                                     : u"采集完成: 采集到 %1 个地址, 用时 %2 秒"_s)
                                 .arg(written)
                                 .arg(one_shot.Progress().Seconds(), 0, 'f', 1));
  return code;
}

}  // namespace ph
