#pragma once

#include <QString>

namespace ph {

// The directory that holds the program's own files ("Zxproxyinfo.txt", exports, "qqwry.dat",
// "endpoints.ini"). The executable's directory unless a test injects another one.
class ProgramDir {
 public:
  ProgramDir();  // the executable's directory
  explicit ProgramDir(QString path);

  const QString& Path() const { return path_; }
  // Full path of a file in the directory.
  QString File(const QString& name) const;

 private:
  QString path_;
};

}  // namespace ph
