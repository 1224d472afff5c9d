#pragma once

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace ph {

// The version of the shared pool's tables this program makes and reads. Version 1 kept the
// list alone; version 2 added the shared runs: rows due in a run, their leases, who
// validated them, the runs and the turns of the once-per-cluster jobs.
inline constexpr int kSchemaVersion = 2;

// Makes the tables, or brings older ones up to version `target`, under an advisory lock so
// that instances starting at once take turns. A database whose tables are of a newer version
// (a newer program), or that holds tables of our names without our version, is refused with
// the reason and left as it was.
std::optional<QString> MigrateSchema(QSqlDatabase& db, int target = kSchemaVersion);

// The text of the refusal of a newer schema.
QString NewerSchemaText(int found);

}  // namespace ph
