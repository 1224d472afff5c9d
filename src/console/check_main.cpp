#include "console/check_main.h"

#include "app/application.h"
#include "app/command_line.h"
#include "app/config_file.h"
#include "console/check_input.h"
#include "console/console_setup.h"
#include "console/one_shot.h"
#include "console/passed_writer.h"

#include <QCoreApplication>
#include <QHash>

#include <optional>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The flags for the common settings, as the settings file's keys and values, checked as the
// panel checks them; the reason when one is refused.
std::optional<QString> ApplyCheckFlags(const CommandLine& line, Settings& settings) {
  struct Flag {
    QString flag;
    QString key;
    QString value;
  };
  std::vector<Flag> flags;
  if (!line.timeout_ms.isEmpty()) flags.push_back({u"--timeout"_s, u"Text2"_s, line.timeout_ms});
  if (!line.concurrency.isEmpty()) {
    flags.push_back({u"--concurrency"_s, u"Check11"_s, u"1"_s});
    flags.push_back({u"--concurrency"_s, u"Text20"_s, line.concurrency});
  }
  if (line.anonymity) flags.push_back({u"--anonymity"_s, u"Check10"_s, u"1"_s});
  if (!line.match_text.isEmpty() && line.test_url.isEmpty())
    return u"--match 只能与 --test-url 同用"_s;
  if (!line.test_url.isEmpty()) {
    // A custom target of the one kind the URL names, and only that kind is tested.
    const bool https = line.test_url.startsWith(u"https://"_s, Qt::CaseInsensitive);
    if (!https && !line.test_url.startsWith(u"http://"_s, Qt::CaseInsensitive))
      return u"--test-url 应以 http:// 或 https:// 开头: "_s + line.test_url;
    flags.push_back({u"--test-url"_s, u"Otn"_s, https ? u"1"_s : u"0"_s});
    flags.push_back(
        {u"--test-url"_s, https ? u"GtnHttps"_s : u"GtnHttp"_s, https ? u"6"_s : u"7"_s});
    flags.push_back({u"--test-url"_s, https ? u"Text14"_s : u"Text16"_s, line.test_url});
    flags.push_back({u"--match"_s, https ? u"Text15"_s : u"Text17"_s, line.match_text});
  }
  ConfigFile config;
  for (const Flag& flag : flags) {
    if (const std::optional<QString> refusal = ConfigValueRefusal(flag.key, flag.value))
      return flag.flag + u' ' + flag.value + u": "_s + *refusal;
    config.values.emplace_back(flag.key, flag.value);
  }
  ApplyConfig(config, settings);
  return std::nullopt;
}

// Appends the addresses the list does not hold yet and selects exactly the rows of all of
// them (a kept list may hold some from before, with their statistics); how many there are.
int SelectInput(ProxyList& list, const std::vector<QString>& addresses) {
  QHash<QString, int> held;
  for (int row = 1; row <= list.RowCount(); ++row) held.insert(list.CellText(row, kAddress), row);
  std::vector<bool> picked(static_cast<std::size_t>(list.RowCount()));
  std::vector<NewRow> fresh;
  for (const QString& address : addresses) {
    if (const auto found = held.constFind(address); found != held.cend()) {
      picked[static_cast<std::size_t>(*found - 1)] = true;
      continue;
    }
    NewRow& row = fresh.emplace_back();
    row[kAddress - 1] = address;
  }
  const int before = list.RowCount();
  list.AppendRows(fresh);
  list.SelectWhere(
      [&](int row) { return row > before || picked[static_cast<std::size_t>(row - 1)]; });
  return static_cast<int>(addresses.size());
}

}  // namespace

int CheckMain(int argc, char** argv, const CommandLine& line) {
  const QString command = u"check"_s;
  // Read before anything starts: a pipe's writer may take its time, and bad input starts nothing.
  const CheckInput input = ReadCheckInput(line.input);
  if (!input.problem.isEmpty()) return RefuseToRun(command, input.problem);

  QCoreApplication app(argc, argv);
  NameTheProgram();
  Application application(ChosenDir(line));
  AppState& state = application.State();
  if (const std::optional<QString> refusal = ReadSettings(line, application))
    return RefuseToRun(command, *refusal);
  if (const std::optional<QString> refusal = ApplyCheckFlags(line, state.Config()))
    return RefuseToRun(command, *refusal);
  OneShot one_shot(application, Job::kValidation, line.quiet);
  if (const std::optional<QString> failure = one_shot.KeepListIn(line.db))
    return RefuseToRun(command, *failure);
  if (!input.note.isEmpty()) one_shot.Progress().Say(input.note);
  const int to_check = SelectInput(state.List(), input.addresses);
  PassedWriter writer(state.List(), line.format, state.Dir(), stdout);

  const int code = one_shot.Exec([&] {
    if (to_check == 0) {
      application.RequestQuit(Application::kAtOnce);
    } else {
      application.Run(CommandId::kValidateSelected);
    }
  });
  one_shot.Progress().Finish((one_shot.Interrupted()
                                  ? u"已中断: 共 %1 个, 可用 %2 个, 用时 %3 秒"_s
                                  : u"验证完成: 共 %1 个, 可用 %2 个, 用时 %3 秒"_s)
                                 .arg(to_check)
                                 .arg(writer.Written())
                                 .arg(one_shot.Progress().Seconds(), 0, 'f', 1));
  return code;
}

}  // namespace ph
