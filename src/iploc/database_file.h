#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace ph {

class FileBytes;
class ProgramDir;

// The IP database of a program directory.
struct DatabaseFile {
  QString path;  // as spelled on disk
  std::shared_ptr<const FileBytes> bytes;
};

// "qqwry.dat" in the program directory (or, for an installed program, in the directories
// after it), its name matched without regard to letter case, and its bytes; nothing when there
// is no such file. Asked anew on every call: while the file
// found before is still there, that costs one file-status query.
std::optional<DatabaseFile> OpenDatabaseFile(const ProgramDir& dir);

}  // namespace ph
