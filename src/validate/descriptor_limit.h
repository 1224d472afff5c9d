#pragma once

namespace ph {

// Raises this process's soft limit of open descriptors to its hard limit (once; later calls
// only read it) and returns the soft limit now.
long RaiseDescriptorLimit();

// The most probes that may be under way at once with that many descriptors: a probe holds one
// (two while a redirect connects anew), and a reserve stays for the control API's clients, the
// store, the window and the program's own files.
int MostProbesFor(long descriptors);

}  // namespace ph
