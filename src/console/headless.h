#pragma once

namespace ph {

struct CommandLine;

// "proxyharvest --headless": the harvest, the validation runs and the control API without a
// window, logging to standard output, the list kept in a database between runs. Returns the
// exit status: 0 after an orderly stop, 1 when the list could not be saved at the end, 2 when
// it cannot start (a bad setting, a database it cannot use or another process holds, the
// API's port taken).
int HeadlessMain(int argc, char** argv, const CommandLine& line);

}  // namespace ph
