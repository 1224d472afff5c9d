#pragma once

namespace ph {

struct CommandLine;

// "proxyharvest harvest": one harvest of the configured sources (or only the public lists of
// --sources FILE) on the same core as the headless mode, each address found written to
// standard output as its batch arrives, one per line as the list holds it, progress to
// standard error. Returns the exit status: 0 once the harvest has ended, 2 for settings or a
// database it cannot use, 1 when the list could not be saved (--db), 130 after Ctrl-C, with
// what had been found written.
int HarvestMain(int argc, char** argv, const CommandLine& line);

}  // namespace ph
