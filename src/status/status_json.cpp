#include "status/status_json.h"

#include "api/api_server.h"
#include "core/app_state.h"
#include "rotate/rotating_proxy.h"
#include "status/json_writer.h"
#include "status/probe_results.h"
#include "status/status_board.h"
#include "validate/validation_run.h"

#include <QDateTime>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The page shows this many regions.
constexpr std::size_t kTopRegions = 10;

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void WriteList(JsonWriter& json, const ListTally& tally) {
  json.Key("list");
  json.BeginObject();
  json.Field("rows", tally.Rows());
  for (const auto state :
       {ListTally::State::kWorking, ListTally::State::kFailed, ListTally::State::kUntested}) {
    json.Field(ListTally::Name(state), tally.Count(state));
  }
  json.Key("protocols");
  json.BeginObject();
  for (const auto protocol :
       {ListTally::Protocol::kHttp, ListTally::Protocol::kSocks4, ListTally::Protocol::kSocks5}) {
    json.Field(ListTally::Name(protocol), tally.Count(protocol));
  }
  json.EndObject();
  json.Key("levels");
  json.BeginObject();
  for (const auto level : {ListTally::Level::kElite, ListTally::Level::kAnonymous,
                           ListTally::Level::kTransparent, ListTally::Level::kUnknown}) {
    json.Field(ListTally::Name(level), tally.Count(level));
  }
  json.EndObject();
  json.Key("regions");
  json.BeginArray();
  for (const ListTally::RegionCount& region : tally.TopRegions(kTopRegions)) {
    json.BeginArray();
    json.Value(region.region);
    json.Value(region.rows);
    json.EndArray();
  }
  json.EndArray();
  json.Field("region_count", tally.RegionCountTotal());
  json.EndObject();
}

void WriteJob(JsonWriter& json, const JobWatch::View& job) {
  json.Field("running", job.running);
  json.Field("done", job.done);
  json.Field("total", job.total);
  json.Key("per_second");
  json.Value(job.per_second, 1);
  json.Key("seconds_left");
  if (job.seconds_left) {
    json.Value(static_cast<int64_t>(*job.seconds_left));
  } else {
    json.Null();
  }
  json.Field("elapsed_ms", static_cast<int64_t>(job.elapsed_ms));
}

void WriteJobs(JsonWriter& json, const StatusBoard& board) {
  const Status& status = board.State().StatusBar();
  json.Key("validation");
  json.BeginObject();
  WriteJob(json, board.Jobs().Of(Job::kValidation));
  json.Field("successes", status.Successes());
  json.Field("in_flight", status.Workers());
  json.EndObject();
  json.Key("harvest");
  json.BeginObject();
  WriteJob(json, board.Jobs().Of(Job::kHarvest));
  json.Field("source", board.HarvestSource());
  json.EndObject();
  json.Field("text", status.Text());
}

void WriteProbes(JsonWriter& json, const ValidationRuns* runs) {
  json.Key("probes");
  json.BeginArray();
  if (runs != nullptr) {
    for (const ProbeResultCount& result : ProbeResults(runs->Probes())) {
      json.BeginObject();
      json.Field("name", Latin1(result.name));
      json.Field("text",
                 result.phase == FailurePhase::kNone ? u"成功"_s : FailurePhaseName(result.phase));
      json.Field("count", result.count);
      json.EndObject();
    }
  }
  json.EndArray();
}

void WriteSources(JsonWriter& json, const SourceTable& sources) {
  json.Key("sources");
  json.BeginArray();
  for (const SourceTable::Entry& entry : sources.Entries()) {
    json.BeginObject();
    json.Field("name", entry.name);
    json.Field("last", static_cast<int64_t>(entry.last_ms));
    json.Field("last_added", entry.last_added);
    json.Field("added_total", entry.added_total);
    json.Field("failures_total", entry.failures_total);
    json.Field("problem", entry.problem);
    json.EndObject();
  }
  json.EndArray();
}

void WriteRotate(JsonWriter& json, const RotatingProxy* rotate) {
  json.Key("rotate");
  if (rotate == nullptr || !rotate->Running()) {
    json.Null();
    return;
  }
  const RotateCounters c = rotate->Counters();
  json.BeginObject();
  const std::pair<std::string_view, int64_t> fields[] = {
      {"port", rotate->Port()},
      {"connections_open", c.connections_open},
      {"connections_total", c.connections_total},
      {"connections_refused", c.connections_refused},
      {"requests", c.requests},
      {"retries", c.retries},
      {"faults_proxy", c.faults_proxy},
      {"faults_target", c.faults_target},
      {"faults_no_proxy", c.faults_no_proxy},
      {"faults_client", c.faults_client},
      {"bytes_up", c.bytes_up},
      {"bytes_down", c.bytes_down},
  };
  for (const auto& [name, value] : fields) {
    json.Field(name, value);
  }
  json.EndObject();
}

void WriteApi(JsonWriter& json, const ApiServer* api) {
  json.Key("api");
  if (api == nullptr) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.Field("listening", api->Listening());
  json.Field("port", static_cast<int>(api->Port()));
  json.Key("requests");
  json.BeginArray();
  for (const auto& [word, count] : api->Requests().Counts()) {
    json.BeginArray();
    json.Value(QString(word));
    json.Value(count);
    json.EndArray();
  }
  json.EndArray();
  json.EndObject();
}

void WriteHistory(JsonWriter& json, const MinuteHistory& history) {
  json.Key("history");
  json.BeginObject();
  json.Field("interval_ms", history.IntervalMs());
  json.Key("at");
  json.BeginArray();
  for (const MinuteHistory::Sample& sample : history.Samples())
    json.Value(static_cast<int64_t>(sample.at_ms));
  json.EndArray();
  json.Key("rows");
  json.BeginArray();
  for (const MinuteHistory::Sample& sample : history.Samples()) json.Value(sample.rows);
  json.EndArray();
  json.Key("working");
  json.BeginArray();
  for (const MinuteHistory::Sample& sample : history.Samples()) json.Value(sample.working);
  json.EndArray();
  json.EndObject();
}

}  // namespace

QByteArray StatusJson(const StatusBoard& board) {
  QByteArray out;
  out.reserve(32 * 1024);
  JsonWriter json(out);
  json.BeginObject();
  json.Field("version", QStringLiteral(PH_VERSION));
  json.Field("now", static_cast<int64_t>(QDateTime::currentMSecsSinceEpoch()));
  json.Field("started", static_cast<int64_t>(board.StartedMs()));
  json.Key("health");
  if (const std::optional<QString> problem = board.HealthProblem()) {
    json.Value(*problem);
  } else {
    json.Null();
  }
  WriteList(json, board.Tally());
  WriteJobs(json, board);
  WriteProbes(json, board.Feeds().runs);
  WriteSources(json, board.Sources());
  WriteRotate(json, board.Feeds().rotate);
  WriteApi(json, board.Feeds().api);
  WriteHistory(json, board.History());
  json.EndObject();
  return out;
}

}  // namespace ph
