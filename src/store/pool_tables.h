#pragma once

#include <QString>
#include <QStringList>

namespace ph {

// The tables of a shared pool. Every name starts with "proxyharvest_", so the database can
// hold other programs' tables beside them.
inline const QString kRowsTable = QStringLiteral("proxyharvest_rows");
inline const QString kRemovedTable = QStringLiteral("proxyharvest_removed");
inline const QString kRunsTable = QStringLiteral("proxyharvest_runs");
inline const QString kClockTable = QStringLiteral("proxyharvest_clock");
inline const QString kMetaTable = QStringLiteral("proxyharvest_meta");
inline const QString kVersionSequence = QStringLiteral("proxyharvest_version");
// The one channel of notifications: something changed, look.
inline const QString kChannel = QStringLiteral("proxyharvest");

// Advisory locks: one space for this program, one key for each purpose.
inline constexpr int kLockSpace = 0x7068;
inline constexpr int kVersionLock = 1;    // held by every write that takes versions
inline constexpr int kMigrationLock = 2;  // held while the schema is made or changed
inline constexpr int kHarvestLock = 3;    // held while an automatic harvest runs

// The column of a cell (1 to 13; the Index is not kept).
inline QString CellColumn(int cell) {
  return cell == 1 ? QStringLiteral("address") : QStringLiteral("c%1").arg(cell);
}

}  // namespace ph
