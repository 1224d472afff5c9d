#include "app/command_line.h"
#include "console/check_main.h"
#include "console/harvest_main.h"
#include "console/headless.h"
#include "ui/window_main.h"

#include <curl/curl.h>

namespace {

using namespace Qt::StringLiterals;

constexpr int kBadArguments = 2;

// The mode the command line asks for, on the one application root; nothing of Qt's GUI
// starts before the command line is read, so --help and --version need no display.
int RunMode(int argc, char* argv[], const ph::CommandLine& line) {
  switch (line.mode) {
    case ph::Mode::kHelp:
      ph::WriteText(stdout, ph::UsageText());
      return 0;
    case ph::Mode::kVersion:
      ph::WriteText(stdout, ph::VersionText());
      return 0;
    case ph::Mode::kHeadless:
      return ph::HeadlessMain(argc, argv, line);
    case ph::Mode::kCheck:
      return ph::CheckMain(argc, argv, line);
    case ph::Mode::kHarvest:
      return ph::HarvestMain(argc, argv, line);
    case ph::Mode::kWindow:
      break;
  }
  return ph::WindowMain(argc, argv, line);
}

}  // namespace

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const ph::ParsedCommandLine parsed = ph::ParseCommandLine(arguments);
  if (!parsed.line) {
    ph::WriteText(stderr, u"proxyharvest: "_s + parsed.problem + u"\n\n"_s + ph::UsageText());
    return kBadArguments;
  }
  // Before any worker thread can exist.
  curl_global_init(CURL_GLOBAL_ALL);
  const int code = RunMode(argc, argv, *parsed.line);
  curl_global_cleanup();
  return code;
}
