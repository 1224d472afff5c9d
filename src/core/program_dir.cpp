#include "core/program_dir.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

namespace ph {

ProgramDir::ProgramDir() : ProgramDir(QCoreApplication::applicationDirPath()) {}

ProgramDir::ProgramDir(QString path) : path_(std::move(path)) {}

QString ProgramDir::File(const QString& name) const { return QDir(path_).filePath(name); }

}  // namespace ph
