#pragma once

namespace ph {

struct CommandLine;

// The program with its window: builds the application root, hands it to the window and runs
// until the window ends it. Without a display it says how to run without one instead, and
// returns 1; otherwise the exit status.
int WindowMain(int argc, char** argv, const CommandLine& line);

}  // namespace ph
