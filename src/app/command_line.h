#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace ph {

// What the program is asked to do: open the window, serve without one, or one of the
// sub-commands for scripts; or only to say how it is used or which version it is.
enum class Mode { kWindow, kHeadless, kCheck, kHarvest, kHelp, kVersion };

// How "check" writes each working proxy.
enum class OutputFormat { kPlain, kCsv, kJsonl };

// Everything the command line says, for every mode; an option a mode does not take is
// refused while reading, so each mode finds only its own options set.
struct CommandLine {
  Mode mode = Mode::kWindow;
  // The list's database (window, headless, check, harvest); empty: none, or the headless
  // mode's default.
  QString db;
  bool keep_list = false;  // window: the list in the user's data directory
  QString config;          // a settings file (every mode)
  QString dir;             // the program directory
  // Headless.
  QString import;
  QString api_port;
  QString rotate_port;
  QString status;  // [ADDRESS:]PORT of the status page
  bool no_api = false;
  bool harvest_now = false;
  bool validate_now = false;
  bool print_config = false;
  // check and harvest.
  QString input;  // check: a file, or "-" for standard input
  OutputFormat format = OutputFormat::kPlain;
  QString timeout_ms;
  QString concurrency;
  QString test_url;
  QString match_text;
  bool anonymity = false;
  bool quiet = false;
  QString sources;              // harvest: the file naming the public lists to read
  bool platform_given = false;  // window: Qt's -platform option names the display's kind
};

// The command line, or why it cannot be taken.
struct ParsedCommandLine {
  std::optional<CommandLine> line;
  QString problem;
};

// Reads the arguments after the program's name: a sub-command ("check", "harvest") first, if
// any, then options. Qt's own window options (-platform, -style, ...) pass to the window.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// The usage text, in Chinese: every mode, every option, the exit statuses.
QString UsageText();
// "proxyharvest <version>".
QString VersionText();

// The program's name and version for Qt: the user's data directory and the window's title
// follow them. Once the Qt application exists.
void NameTheProgram();

// Writes the text to a standard stream as UTF-8, at once.
void WriteText(std::FILE* to, const QString& text);

}  // namespace ph
