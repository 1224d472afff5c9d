#pragma once

namespace ph {

// The program with its window: builds the application root, hands it to the window and runs
// until the window ends it. Returns the exit status.
int WindowMain(int argc, char** argv);

}  // namespace ph
