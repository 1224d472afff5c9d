#pragma once

#include <QString>
#include <QStringList>

namespace ph {

// The directory that holds the program's own files ("Zxproxyinfo.txt", exports, "qqwry.dat",
// "endpoints.ini", "sources.ini"): the executable's directory, or for an installed program the
// user's data directory; a test injects another one.
class ProgramDir {
 public:
  // ForExecutableIn the executable's directory.
  ProgramDir();
  explicit ProgramDir(QString path);

  // An installed program (one beside its system data directory, "../share/proxyharvest" from
  // its bin directory) or one whose directory it may not write keeps its files in the user's
  // data directory (made when missing), and looks for the IP database in the system data
  // directory too; any other keeps them beside the executable.
  static ProgramDir ForExecutableIn(const QString& executable_dir);

  const QString& Path() const { return path_; }
  // Full path of a file in the directory.
  QString File(const QString& name) const;
  // Where "qqwry.dat" is looked for, in order; Path() first.
  const QStringList& DatabaseDirs() const { return database_dirs_; }
  // True when Path() is the user's data directory in place of the executable's.
  bool InDataDir() const { return in_data_dir_; }

 private:
  QString path_;
  QStringList database_dirs_;
  bool in_data_dir_ = false;
};

// The user's data directory (QStandardPaths::AppDataLocation), e.g.
// ~/.local/share/ProxyHarvest.
QString UserDataDir();

}  // namespace ph
