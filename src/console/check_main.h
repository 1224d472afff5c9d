#pragma once

namespace ph {

struct CommandLine;
class Settings;

// "proxyharvest check [FILE|-]": validates the addresses of a file or of standard input on the
// same core and engine as the headless mode (with 高速验证), writes each working proxy to
// standard output as soon as it passes, progress to standard error. Returns the exit status:
// 0 once the run has ended (whether any proxy works or none), 2 for input, settings or a
// database it cannot use, 1 when the list could not be saved (--db), 130 after Ctrl-C, with
// what had passed written.
int CheckMain(int argc, char** argv, const CommandLine& line);

}  // namespace ph
