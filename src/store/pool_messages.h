#pragma once

#include "core/proxy_list.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace ph {

// What the window's thread and a shared pool's connection thread hand each other. Values
// only: each side owns what it was handed.

// A row's number in the shared table: the same on every instance, unlike the list's RowIds.
using DbId = int64_t;

// A row as the database holds it now. Cell 0 (Index) is each list's own and left empty.
struct DbRow {
  DbId id = 0;
  int64_t version = 0;  // rises with every write of the row, cluster-wide
  std::array<QString, kCellCount> cells;
  QRgb colour = 0;
};

// A row to write, as the list held it when it was handed over.
struct RowWrite {
  enum class Kind {
    kInsert,  // a row new here; an address already kept stays as kept
    kEdit,    // the region is written; the rest only where nobody wrote the row since version
    kResult,  // a validation's result, written whatever came before; ends this instance's lease
  };
  Kind kind = Kind::kEdit;
  RowId local = 0;      // kInsert: the list's row
  DbId id = 0;          // kEdit, kResult
  int64_t version = 0;  // kEdit: what the cells were based on
  DbId run = 0;         // kResult: the run the row was claimed in, 0 for none
  std::array<QString, kCellCount> cells;
  QRgb colour = 0;
};

struct WriteBatch {
  std::vector<RowWrite> writes;
  std::vector<DbId> removals;
};

// An inserted row's place in the table: new, or the row that already held its address.
struct InsertAnswer {
  RowId local = 0;
  DbId id = 0;
  bool created = false;
};

// The newest run of the pool.
struct RunNews {
  DbId id = 0;
  int total = 0;  // rows due when it started
  int due = 0;    // rows not validated yet
  bool active = false;
};

// A run this instance asked for: 0 when the database refused it.
struct StartedRun {
  DbId run = 0;
  int total = 0;
};

// Rows claimed for this instance in a run.
struct Claim {
  DbId run = 0;
  std::vector<DbId> ids;
};

// An answer to a job gate.
struct GateAnswer {
  int token = 0;
  bool go = false;
};

// What the connection thread tells the window's thread: whatever one step of it found.
struct PoolNews {
  std::vector<DbRow> rows;  // the database's rows now (followed, claimed or written)
  std::vector<DbId> removed;
  // Rows this instance wrote whole (results), and the versions they have now.
  std::vector<std::pair<DbId, int64_t>> written;
  // Every row's id, read again after a time without following: a row not among them is gone,
  // though its removal may have been forgotten (PoolSql::PurgeRemoved).
  std::optional<std::vector<DbId>> present;
  std::vector<InsertAnswer> inserted;
  std::optional<RunNews> run;
  std::optional<StartedRun> started;
  std::optional<Claim> claim;
  std::optional<GateAnswer> gate;
  std::optional<QString> lost;  // the connection was lost, why
  bool back = false;            // the connection is back
  QString refused;              // a statement the database refused, for the log
};

}  // namespace ph
