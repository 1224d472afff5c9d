#include "store/shared_pool.h"

#include "core/settings.h"
#include "store/lease_feeder.h"
#include "store/pool_connection.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <algorithm>
#include <chrono>
#include <future>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

SharedPool::SharedPool(PgTarget target, Log log, QObject* parent)
    : QObject(parent),
      target_(std::move(target)),
      log_(std::move(log)),
      owner_(QSysInfo::machineHostName() + u'/' +
             QString::number(QCoreApplication::applicationPid())) {
  thread_.setObjectName(u"pool connection"_s);
  connection_ = new PoolConnection(target_, owner_);
  connection_->moveToThread(&thread_);
  // The connection and its database handle go on the thread that used them; that they are
  // gone is told through a promise, which ThreadSanitizer sees, unlike QThread::wait.
  connect(
      &thread_, &QThread::finished, connection_,
      [this, connection = connection_] {
        delete connection;
        ended_.set_value();
      },
      Qt::DirectConnection);
  connect(
      this, &SharedPool::Posted, connection_, [this] { TakeCall(); }, Qt::QueuedConnection);
  connect(connection_, &PoolConnection::Told, this, &SharedPool::TakeNews, Qt::QueuedConnection);
  thread_.start();
}

SharedPool::~SharedPool() {
  thread_.quit();
  thread_.wait();
  ended_.get_future().wait();
}

void SharedPool::Post(std::function<void(PoolConnection&)> call) {
  if (calls_.Put(std::move(call))) emit Posted();
}

// On the connection thread: one call a turn, so what else is due there (the socket, the
// timers) comes between them.
void SharedPool::TakeCall() {
  bool more = false;
  if (std::optional<std::function<void(PoolConnection&)>> call = calls_.Take(more))
    (*call)(*connection_);
  if (more)
    QMetaObject::invokeMethod(
        connection_, [this] { TakeCall(); }, Qt::QueuedConnection);
}

// One piece of news a turn: a large change, read in slices, is applied in turns of its own.
void SharedPool::TakeNews() {
  bool more = false;
  if (std::optional<PoolNews> news = connection_->TakeNews(more)) OnNews(*news);
  if (more) QMetaObject::invokeMethod(this, &SharedPool::TakeNews, Qt::QueuedConnection);
}

std::optional<QString> SharedPool::Open() {
  std::optional<PoolConnection::OpenRefusal> refusal;
  QString waited_for;
  std::promise<void> opened;
  Post([&](PoolConnection& connection) {
    refusal = connection.Open(loaded_, waited_for);
    opened.set_value();
  });
  opened.get_future().wait();
  away_ = refusal && refusal->away;
  if (refusal) return target_.Shown() + u": "_s + refusal->text;
  if (!waited_for.isEmpty())
    log_(u"数据库 %1 起初不可用 (%2), 等到了它可用"_s.arg(target_.Shown(), waited_for));
  return std::nullopt;
}

std::optional<QString> SharedPool::Load(ProxyList& list) {
  list_ = &list;
  connect(&list, &QAbstractItemModel::rowsRemoved, this, [this] { rows_removed_ = true; });
  connect(&list, &QAbstractItemModel::modelReset, this, [this] { rows_removed_ = true; });
  // The list's own ids count up from 1 in the table's order; the table's ids are kept beside.
  std::vector<ProxyList::StoredRow> rows;
  rows.reserve(loaded_.size());
  for (std::size_t i = 0; i < loaded_.size(); ++i) {
    const DbRow& loaded = loaded_[i];
    ProxyList::StoredRow& row = rows.emplace_back();
    row.id = i + 1;
    row.cells = loaded.cells;
    row.cells[kIndex] = QString::number(i + 1);
    row.result_colour = loaded.colour;
    Map(row.id, loaded.id, loaded.version);
  }
  loaded_.clear();
  list.RestoreRows(std::move(rows));
  return std::nullopt;
}

void SharedPool::Map(RowId local, DbId id, int64_t version) {
  known_[local] = {id, version};
  local_of_[id] = local;
}

DbId SharedPool::DbIdOf(RowId local) const {
  const auto found = known_.find(local);
  return found == known_.end() ? 0 : found->second.id;
}

RowId SharedPool::LocalOf(DbId id) const {
  const auto found = local_of_.find(id);
  return found == local_of_.end() ? 0 : found->second;
}

RowWrite SharedPool::Snapshot(RowId local, RowWrite::Kind kind) {
  ProxyEntry& entry = list_->EntryForWrite(list_->RowOf(local));
  RowWrite write;
  write.kind = kind;
  write.local = local;
  if (const auto found = known_.find(local); found != known_.end()) {
    write.id = found->second.id;
    write.version = found->second.version;
  }
  for (int cell = 1; cell < kCellCount; ++cell)
    write.cells[static_cast<std::size_t>(cell)] = entry.Cell(cell);
  write.colour = entry.result_colour;
  entry.changed = false;
  return write;
}

std::optional<QString> SharedPool::Save(ProxyList& list) {
  WriteBatch batch;
  if (rows_removed_) {
    rows_removed_ = false;
    for (auto it = known_.begin(); it != known_.end();) {
      if (list.RowOf(it->first) != 0) {
        ++it;
        continue;
      }
      batch.removals.push_back(it->second.id);
      removing_.insert(it->second.id);
      local_of_.erase(it->second.id);
      it = known_.erase(it);
    }
  }
  for (const RowId local : list.ChangedRows()) {
    // A row on its way in is written again once it has its place.
    if (inserting_.contains(local)) continue;
    if (known_.contains(local)) {
      batch.writes.push_back(Snapshot(local, RowWrite::Kind::kEdit));
      continue;
    }
    const QString& address = list.CellText(list.RowOf(local), kAddress);
    if (address.isEmpty()) continue;  // no proxy yet: kept here alone
    inserting_[local] = address;
    inserting_by_address_.insert(address, local);
    batch.writes.push_back(Snapshot(local, RowWrite::Kind::kInsert));
  }
  if (batch.writes.empty() && batch.removals.empty()) return std::nullopt;
  Post([batch = std::move(batch)](PoolConnection& connection) mutable {
    connection.Write(std::move(batch));
  });
  return std::nullopt;
}

std::optional<QString> SharedPool::WaitWritten(int most_ms) {
  auto written = std::make_shared<std::promise<void>>();
  std::future<void> done = written->get_future();
  Post([written](PoolConnection& connection) { connection.Settle(written); });
  if (done.wait_for(std::chrono::milliseconds(most_ms)) == std::future_status::ready)
    return std::nullopt;
  return target_.Shown() + u" 不可用, 部分修改未能写入"_s;
}

void SharedPool::Serve(Settings& settings, ValidationRuns& runs) {
  settings_ = &settings;
  feeder_ = std::make_unique<LeaseFeeder>(*this, runs, settings);
}

RunSharing& SharedPool::Sharing() { return *feeder_; }

JobGate SharedPool::Gate(bool harvest) {
  return [this, harvest](std::function<void(bool)> answer) {
    const int token = next_gate_++;
    gates_[token] = std::move(answer);
    const WorkingValues& working = settings_->Working();
    const int interval = harvest ? working.UpdateIntervalSec : working.RetestIntervalSec;
    Post([token, harvest, interval](PoolConnection& connection) {
      connection.TakeTurn(token, harvest, interval);
    });
  };
}

void SharedPool::HarvestEnded() {
  Post([](PoolConnection& connection) { connection.EndHarvest(); });
}

void SharedPool::Leave() {
  if (feeder_) feeder_->Leave();
}

void SharedPool::OnNews(const PoolNews& news) {
  if (news.lost) {
    connected_ = false;
    log_(u"数据库 %1 连接中断 (%2): 继续以内存中的列表服务, 稍后重试"_s.arg(target_.Shown(),
                                                                            *news.lost));
  }
  if (news.back) {
    connected_ = true;
    log_(u"数据库 %1 已重新连接, 写入中断期间的修改"_s.arg(target_.Shown()));
  }
  if (!news.refused.isEmpty()) log_(u"数据库拒绝了一次写入: "_s + news.refused);
  if (list_ == nullptr) return;
  if (news.present) ApplyPresent(*news.present);
  // Answers to inserts first: their rows then find the list's rows they belong to.
  ApplyInserts(news.inserted);
  ApplyRows(news.rows);
  ApplyWritten(news.written);
  ApplyRemovals(news.removed);
  if (feeder_) {
    if (news.started) feeder_->OnStarted(*news.started);
    if (news.claim) feeder_->OnClaim(*news.claim);
    if (news.run) feeder_->OnRun(*news.run);
  }
  if (news.gate) {
    const auto found = gates_.find(news.gate->token);
    if (found != gates_.end()) {
      const std::function<void(bool)> answer = std::move(found->second);
      gates_.erase(found);
      answer(news.gate->go);
    }
  }
}

void SharedPool::ApplyInserts(const std::vector<InsertAnswer>& answers) {
  std::vector<RowId> duplicates;
  WriteBatch gone;
  for (const InsertAnswer& answer : answers) {
    if (const auto found = inserting_.find(answer.local); found != inserting_.end()) {
      inserting_by_address_.remove(found->second);
      inserting_.erase(found);
    }
    const int row = list_->RowOf(answer.local);
    if (answer.id == 0) {
      // Its address was removed at once: the row goes in again with the next save.
      if (row != 0) list_->EntryForWrite(row).changed = true;
      continue;
    }
    if (known_.contains(answer.local)) continue;  // found by its address meanwhile
    const RowId other = LocalOf(answer.id);
    if (other != 0) {
      duplicates.push_back(answer.local);  // one row per address: the one already here stays
      continue;
    }
    if (row == 0) {
      // Removed here before its place was known.
      if (answer.created) {
        gone.removals.push_back(answer.id);
        removing_.insert(answer.id);
      }
      continue;
    }
    Map(answer.local, answer.id, 0);
  }
  RemoveLocal(duplicates);
  if (!gone.removals.empty())
    Post([gone = std::move(gone)](PoolConnection& connection) mutable {
      connection.Write(std::move(gone));
    });
}

void SharedPool::ApplyRows(const std::vector<DbRow>& rows) {
  std::vector<NewRow> added;
  std::vector<const DbRow*> added_rows;
  int first = 0;
  int last = 0;
  for (const DbRow& db_row : rows) {
    if (removing_.contains(db_row.id)) continue;
    RowId local = LocalOf(db_row.id);
    if (local == 0) {
      // A row new here may come back from another instance's insert before its own answer.
      const auto pending = inserting_by_address_.find(db_row.cells[kAddress]);
      if (pending != inserting_by_address_.end()) {
        local = pending.value();
        inserting_.erase(local);
        inserting_by_address_.erase(pending);
        Map(local, db_row.id, 0);
      }
    }
    if (local == 0) {
      NewRow& cells = added.emplace_back();
      for (int cell = 1; cell < kCellCount; ++cell)
        cells[static_cast<std::size_t>(cell - 1)] = db_row.cells[static_cast<std::size_t>(cell)];
      added_rows.push_back(&db_row);
      continue;
    }
    Known& known = known_[local];
    if (db_row.version <= known.version) continue;  // this instance's own write, or older
    known.version = db_row.version;
    const int row = list_->RowOf(local);
    if (row == 0) continue;
    ProxyEntry& entry = list_->EntryForWrite(row);
    for (int cell = 1; cell < kCellCount; ++cell)
      entry.SetCell(cell, db_row.cells[static_cast<std::size_t>(cell)]);
    entry.result_colour = db_row.colour;
    entry.changed = false;  // as the table holds it
    first = first == 0 ? row : std::min(first, row);
    last = std::max(last, row);
  }
  if (last != 0) list_->NotifyRowsChanged(first, last);
  if (added.empty()) return;
  const int before = list_->RowCount();
  list_->AppendRows(added);
  for (std::size_t i = 0; i < added_rows.size(); ++i) {
    const int row = before + 1 + static_cast<int>(i);
    Map(list_->IdOf(row), added_rows[i]->id, added_rows[i]->version);
    ProxyEntry& entry = list_->EntryForWrite(row);
    entry.result_colour = added_rows[i]->colour;
    entry.changed = false;
  }
}

void SharedPool::ApplyRemovals(const std::vector<DbId>& ids) {
  std::vector<RowId> locals;
  for (const DbId id : ids) {
    removing_.erase(id);
    const RowId local = LocalOf(id);
    if (local == 0) continue;
    local_of_.erase(id);
    known_.erase(local);
    locals.push_back(local);
  }
  RemoveLocal(locals);
}

void SharedPool::ApplyWritten(const std::vector<std::pair<DbId, int64_t>>& versions) {
  for (const auto& [id, version] : versions) {
    const RowId local = LocalOf(id);
    if (local == 0) continue;
    Known& known = known_[local];
    known.version = std::max(known.version, version);
  }
}

void SharedPool::ApplyPresent(const std::vector<DbId>& ids) {
  const std::unordered_set<DbId> present(ids.begin(), ids.end());
  std::vector<DbId> gone;
  for (const auto& [id, local] : local_of_)
    if (!present.contains(id) && !removing_.contains(id)) gone.push_back(id);
  ApplyRemovals(gone);
}

void SharedPool::RemoveLocal(const std::vector<RowId>& locals) {
  if (locals.empty()) return;
  std::vector<bool> remove(static_cast<std::size_t>(list_->RowCount()));
  bool any = false;
  for (const RowId local : locals) {
    if (const int row = list_->RowOf(local); row != 0) {
      remove[static_cast<std::size_t>(row - 1)] = true;
      any = true;
    }
  }
  // What the table removed is not removed there again.
  const bool removed_before = rows_removed_;
  if (any) list_->RemoveRows(remove);
  rows_removed_ = removed_before;
}

}  // namespace ph
