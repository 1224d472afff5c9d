#include "status/metrics_text.h"

#include "api/api_server.h"
#include "core/app_state.h"
#include "rotate/rotating_proxy.h"
#include "status/probe_results.h"
#include "status/status_board.h"
#include "validate/validation_run.h"

#include <cmath>
#include <string_view>
#include <utility>

namespace ph {
namespace {

using Label = std::pair<std::string_view, QByteArray>;

// Writes families of samples in the text format.
class Metrics {
 public:
  explicit Metrics(QByteArray& out) : out_(out) {}

  void Family(std::string_view name, std::string_view type, std::string_view help) {
    out_.append("# HELP proxyharvest_").append(Bytes(name)).append(' ').append(Bytes(help));
    out_.append("\n# TYPE proxyharvest_").append(Bytes(name)).append(' ').append(Bytes(type));
    out_.append('\n');
  }

  void Sample(std::string_view name, std::initializer_list<Label> labels, double value) {
    out_.append("proxyharvest_").append(Bytes(name));
    if (labels.size() > 0) {
      out_.append('{');
      bool first = true;
      for (const auto& [label, text] : labels) {
        if (!first) out_.append(',');
        first = false;
        out_.append(Bytes(label)).append("=\"");
        AppendLabelValue(text);
        out_.append('"');
      }
      out_.append('}');
    }
    out_.append(' ').append(Number(value)).append('\n');
  }

  // One family of a single sample.
  void Single(std::string_view name, std::string_view type, std::string_view help, double value) {
    Family(name, type, help);
    Sample(name, {}, value);
  }

 private:
  // Whole numbers as such, however large a counter grows; times with their milliseconds.
  static QByteArray Number(double value) {
    constexpr double kExactWhole = 9007199254740992.0;  // 2^53
    if (value == std::floor(value) && std::fabs(value) < kExactWhole)
      return QByteArray::number(static_cast<qint64>(value));
    return QByteArray::number(value, 'g', 15);
  }

  static QByteArrayView Bytes(std::string_view text) {
    return QByteArrayView(text.data(), static_cast<qsizetype>(text.size()));
  }

  // A label's value may hold anything a list's name holds: backslash, quote and line feed are
  // escaped as the format asks.
  void AppendLabelValue(const QByteArray& text) {
    for (const char c : text) {
      if (c == '\\') {
        out_.append("\\\\");
      } else if (c == '"') {
        out_.append("\\\"");
      } else if (c == '\n') {
        out_.append("\\n");
      } else {
        out_.append(c);
      }
    }
  }

  QByteArray& out_;
};

QByteArray Text(std::string_view name) {
  return QByteArray(name.data(), static_cast<qsizetype>(name.size()));
}

void WriteList(Metrics& m, const ListTally& tally) {
  m.Family("rows", "gauge", "Rows of the list by the result of their last validation.");
  for (const auto state :
       {ListTally::State::kWorking, ListTally::State::kFailed, ListTally::State::kUntested})
    m.Sample("rows", {{"state", Text(ListTally::Name(state))}}, tally.Count(state));
  m.Family("rows_by_protocol", "gauge", "Rows of the list by the protocol of the proxy.");
  for (const auto protocol :
       {ListTally::Protocol::kHttp, ListTally::Protocol::kSocks4, ListTally::Protocol::kSocks5}) {
    m.Sample("rows_by_protocol", {{"protocol", Text(ListTally::Name(protocol))}},
             tally.Count(protocol));
  }
  m.Family("rows_by_anonymity", "gauge", "Rows of the list by the anonymity level of the proxy.");
  for (const auto level : {ListTally::Level::kElite, ListTally::Level::kAnonymous,
                           ListTally::Level::kTransparent, ListTally::Level::kUnknown})
    m.Sample("rows_by_anonymity", {{"level", Text(ListTally::Name(level))}}, tally.Count(level));
}

void WriteJobs(Metrics& m, const StatusBoard& board) {
  const JobWatch::View validation = board.Jobs().Of(Job::kValidation);
  m.Single("validation_running", "gauge", "1 while a validation run goes on.",
           validation.running ? 1 : 0);
  m.Family("validation_entries", "gauge",
           "Entries of the current (or last) validation run: validated and to validate.");
  m.Sample("validation_entries", {{"state", "validated"}}, validation.done);
  m.Sample("validation_entries", {{"state", "to_validate"}}, validation.total);
  m.Single("probes_in_flight", "gauge", "Probes under way.", board.State().StatusBar().Workers());
  m.Single("harvest_running", "gauge", "1 while a harvest goes on.",
           board.Jobs().Of(Job::kHarvest).running ? 1 : 0);
}

void WriteProbes(Metrics& m, const ProbeTally& tally) {
  m.Family("probes_total", "counter",
           "Probes whose results reached the list, by result: success or where they failed.");
  for (const ProbeResultCount& result : ProbeResults(tally))
    m.Sample("probes_total", {{"result", Text(result.name)}}, static_cast<double>(result.count));
  m.Family("probe_duration_seconds", "histogram", "How long probes took, whatever their result.");
  int64_t cumulative = 0;
  for (std::size_t i = 0; i < ProbeTally::kBucketMs.size(); ++i) {
    cumulative += tally.Buckets()[i];
    m.Sample("probe_duration_seconds_bucket",
             {{"le", QByteArray::number(ProbeTally::kBucketMs[i] / 1000.0, 'g', 6)}},
             static_cast<double>(cumulative));
  }
  cumulative += tally.Buckets().back();
  m.Sample("probe_duration_seconds_bucket", {{"le", "+Inf"}}, static_cast<double>(cumulative));
  m.Sample("probe_duration_seconds_sum", {}, static_cast<double>(tally.TotalMs()) / 1000.0);
  m.Sample("probe_duration_seconds_count", {}, static_cast<double>(cumulative));
}

void WriteSources(Metrics& m, const SourceTable& sources) {
  m.Family("harvested_addresses_total", "counter",
           "Addresses public lists added to the list, by list.");
  for (const SourceTable::Entry& entry : sources.Entries()) {
    m.Sample("harvested_addresses_total", {{"source", entry.name.toUtf8()}},
             static_cast<double>(entry.added_total));
  }
  m.Family("list_source_failures_total", "counter",
           "Harvests that could not read a public list, by list.");
  for (const SourceTable::Entry& entry : sources.Entries()) {
    m.Sample("list_source_failures_total", {{"source", entry.name.toUtf8()}},
             static_cast<double>(entry.failures_total));
  }
  m.Family("list_source_last_harvest_timestamp_seconds", "gauge",
           "When a harvest last reached a public list, seconds since the epoch.");
  for (const SourceTable::Entry& entry : sources.Entries()) {
    m.Sample("list_source_last_harvest_timestamp_seconds", {{"source", entry.name.toUtf8()}},
             static_cast<double>(entry.last_ms) / 1000.0);
  }
}

void WriteApi(Metrics& m, const ApiServer& api) {
  m.Single("api_listening", "gauge", "1 while the control API listens.", api.Listening() ? 1 : 0);
  m.Family("api_requests_total", "counter", "Control API requests by the command they asked for.");
  for (const auto& [word, count] : api.Requests().Counts())
    m.Sample("api_requests_total", {{"command", QByteArray(word.data(), word.size())}},
             static_cast<double>(count));
}

void WriteRotate(Metrics& m, const RotatingProxy& rotate) {
  const RotateCounters c = rotate.Counters();
  m.Single("rotate_up", "gauge", "1 while the rotating proxy port is open.",
           rotate.Running() ? 1 : 0);
  m.Single("rotate_open_connections", "gauge", "Client connections the rotating port holds.",
           static_cast<double>(c.connections_open));
  m.Single("rotate_connections_total", "counter", "Client connections the rotating port took.",
           static_cast<double>(c.connections_total));
  m.Single("rotate_refused_connections_total", "counter",
           "Client connections refused over the rotating port's limit.",
           static_cast<double>(c.connections_refused));
  m.Single("rotate_requests_total", "counter",
           "Requests, tunnels and SOCKS connections the rotating port sent on.",
           static_cast<double>(c.requests));
  m.Single("rotate_retries_total", "counter", "Tries after a request's first, on another upstream.",
           static_cast<double>(c.retries));
  m.Family("rotate_faults_total", "counter", "Failed requests of the rotating port by class.");
  const std::pair<const char*, int64_t> faults[] = {{"proxy", c.faults_proxy},
                                                    {"target", c.faults_target},
                                                    {"no_proxy", c.faults_no_proxy},
                                                    {"client", c.faults_client}};
  for (const auto& [name, count] : faults)
    m.Sample("rotate_faults_total", {{"class", name}}, static_cast<double>(count));
  m.Family("rotate_transferred_bytes_total", "counter",
           "Bytes the rotating port relayed: up from clients, down to them.");
  m.Sample("rotate_transferred_bytes_total", {{"direction", "up"}},
           static_cast<double>(c.bytes_up));
  m.Sample("rotate_transferred_bytes_total", {{"direction", "down"}},
           static_cast<double>(c.bytes_down));
}

}  // namespace

QByteArray MetricsText(const StatusBoard& board) {
  QByteArray out;
  out.reserve(8 * 1024);
  Metrics m(out);
  WriteList(m, board.Tally());
  WriteJobs(m, board);
  const StatusFeeds& feeds = board.Feeds();
  if (feeds.runs != nullptr) WriteProbes(m, feeds.runs->Probes());
  WriteSources(m, board.Sources());
  if (feeds.api != nullptr) WriteApi(m, *feeds.api);
  if (feeds.rotate != nullptr) WriteRotate(m, *feeds.rotate);
  m.Single("healthy", "gauge", "1 while the program runs and its list is safe in the store.",
           board.HealthProblem() ? 0 : 1);
  m.Single("process_start_time_seconds", "gauge",
           "When the program started, seconds since the epoch.",
           static_cast<double>(board.StartedMs()) / 1000.0);
  m.Family("build_info", "gauge", "The program's version.");
  m.Sample("build_info", {{"version", PH_VERSION}}, 1);
  return out;
}

}  // namespace ph
