#pragma once

#include <QString>

namespace ph {

class ProgramDir;

// Full path of the IP database "qqwry.dat" in the program directory, its name matched
// without regard to letter case; empty when there is none. Asked anew on every call.
QString FindDatabaseFile(const ProgramDir& dir);

}  // namespace ph
