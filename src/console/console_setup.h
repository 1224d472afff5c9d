#pragma once

#include "core/program_dir.h"

#include <QString>

#include <optional>

namespace ph {

class Application;
struct CommandLine;

// What the modes without a window share: where their files are, how their settings are read,
// and how they start.

// The program directory: --dir, else the settings file's directory, else the executable's
// (or, installed, the user's data directory).
ProgramDir ChosenDir(const CommandLine& line);

// The server's defaults, then the settings file of --config (the public lists of
// "sources.ini" beside it); the reason when the file cannot be used.
std::optional<QString> ReadSettings(const CommandLine& line, Application& application);

}  // namespace ph
