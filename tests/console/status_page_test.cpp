// The status page, /metrics and /healthz of the real server, seen by the programs people use:
// headless Chromium, Prometheus's promtool and its Python text parser, curl.
#include "console/headless_server.h"
#include "core/gbk.h"
#include "support/http_fixtures.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>

#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace ph {
namespace {

// Runs a program to its end (at most ms), with input on its standard input; its exit status
// and standard output (standard error into errors).
int RunProgram(const QString& program, const QStringList& arguments, const QByteArray& input,
               QByteArray& output, int ms = 60000, QByteArray* errors = nullptr) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted(5000)) return -1;
  process.write(input);
  process.closeWriteChannel();
  test::WaitFor([&] { return process.state() == QProcess::NotRunning; }, ms);
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished(3000);
    return -1;
  }
  output = process.readAllStandardOutput();
  if (errors != nullptr) *errors = process.readAllStandardError();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// An HTTP GET with curl; the status code, and the body into body.
int Fetch(const QString& url, QByteArray* body = nullptr, const QStringList& more = {}) {
  QByteArray output;
  RunProgram(u"curl"_s,
             QStringList{u"-s"_s, u"-m"_s, u"10"_s, u"-w"_s, u"\n%{http_code}"_s} + more +
                 QStringList{url},
             {}, output, 15000);
  const qsizetype last = output.lastIndexOf('\n');
  if (body != nullptr) *body = output.left(last);
  return output.mid(last + 1).toInt();
}

// The samples of a metrics text as Prometheus's own Python parser reads them:
// "name{labels as sorted JSON}" to value.
std::map<QString, double> ParsedMetrics(const QByteArray& text) {
  const QString script =
      uR"(
import json, sys
from prometheus_client.parser import text_string_to_metric_families
out = {}
for family in text_string_to_metric_families(sys.stdin.read()):
    for sample in family.samples:
        out[sample.name + json.dumps(sample.labels, sort_keys=True, ensure_ascii=False)] = sample.value
print(json.dumps(out, ensure_ascii=False))
)"_s;
  QByteArray output;
  QByteArray errors;
  const int code =
      RunProgram(u"/usr/bin/python3"_s, {u"-c"_s, script}, text, output, 30000, &errors);
  EXPECT_EQ(code, 0) << errors.toStdString();
  std::map<QString, double> samples;
  const QJsonObject parsed = QJsonDocument::fromJson(output).object();
  for (auto it = parsed.begin(); it != parsed.end(); ++it)
    samples[it.key()] = it.value().toDouble();
  return samples;
}

// A PNG's width, from its header; 0 when the bytes are no PNG.
int PngWidth(const QByteArray& png) {
  if (!png.startsWith("\x89PNG\r\n\x1a\n") || png.size() < 24) return 0;
  const auto byte = [&](int i) { return static_cast<int>(static_cast<unsigned char>(png[i])); };
  return byte(16) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19);
}

// A number as the page shows it ("1,234").
int Shown(const QJsonValue& text) { return text.toString().remove(u',').toInt(); }

// The regions of the imported rows, and how many rows each.
const std::vector<std::pair<QString, int>> kRegions{
    {u"广东省深圳市 电信"_s, 60}, {u"北京 联通"_s, 40}, {u"美国"_s, 20}};

class StatusPageTest : public ::testing::Test {
 protected:
  // working HTTP proxies (answering after delay_ms), working SOCKS5 ones and refusing
  // addresses, each a row of the list with a region of kRegions in turn and every third
  // "高匿".
  void Prepare(int http, int socks5, int refused, int delay_ms, int threads) {
    const auto good = farm.Add({"ok [127.0.0.1]", delay_ms, false}, http);
    const auto good_socks = farm.Add({"ok [127.0.0.1]", delay_ms, false, true}, socks5);
    farm.Start();
    std::vector<std::string> addresses = good;
    addresses.insert(addresses.end(), good_socks.begin(), good_socks.end());
    for (int i = 0; i < refused; ++i)
      addresses.push_back("127.0.0.1:" + std::to_string(test::ClosedPort()));
    QString text;
    std::size_t region = 0;
    int left_in_region = kRegions[0].second;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      while (left_in_region == 0) left_in_region = kRegions[++region].second;
      --left_in_region;
      text += QString::fromStdString(addresses[i]) + u'|' + kRegions[region].first + u'|' +
              (i % 3 == 0 ? u"高匿"_s : QString()) + u"|||||||\r\n"_s;
    }
    rows = static_cast<int>(addresses.size());
    ASSERT_EQ(rows, 120) << "the regions name 120 rows";
    dir.Write(u"import.txt"_s, ToGbk(text));
    WriteServerFiles(dir, api_port, pages.Port(), {{u"Text3"_s, QString::number(threads)}});
  }
  QStringList Arguments(const QStringList& more) {
    return QStringList{u"--config"_s, dir.File(u"proxyharvest.ini"_s),
                       u"--db"_s,     dir.File(u"proxyharvest.db"_s),
                       u"--import"_s, dir.File(u"import.txt"_s),
                       u"--status"_s, QString::number(status_port)} +
           more;
  }
  QString Url(const QString& path) const {
    return u"http://127.0.0.1:%1%2"_s.arg(status_port).arg(path);
  }

  test::TempProgramDir dir;
  test::PageServer pages;
  test::ProxyFarm farm;
  quint16 api_port = test::ClosedPort();
  quint16 status_port = test::ClosedPort();
  int rows = 0;
};

TEST_F(StatusPageTest, ABrowserShowsThePoolAsTheListHoldsItAndFollowsARunWithoutReloading) {
  // 100 working proxies answering after 600 ms, 8 at a time: a run of some 8 s, long enough
  // for the page to refresh itself a few times while it goes on.
  Prepare(80, 20, 20, 600, 8);
  Server server;
  server.Start(dir.Path(), Arguments({u"--validate-now"_s}));
  ASSERT_TRUE(server.Logged(u"开始验证"_s)) << server.log.toStdString();
  const QString artefacts = QStringLiteral(PH_ARTEFACT_DIR);
  for (const QString& name : {u"status-page-desktop.png"_s, u"status-page-phone.png"_s})
    QFile::remove(artefacts + u'/' + name);
  QByteArray output;
  QByteArray errors;
  const int code = RunProgram(QStringLiteral(PH_SOURCE_DIR) + u"/tests/status/browser_page.py"_s,
                              {Url(u"/"_s), artefacts, u"40"_s}, {}, output, 90000, &errors);
  ASSERT_EQ(code, 0) << errors.toStdString();
  const QJsonArray notes = QJsonDocument::fromJson(output).array();
  ASSERT_GE(notes.size(), 3);

  // While the run went on the page showed it moving, refreshing itself in the same load.
  QSet<int> validated_while_running;
  int last_refreshes = -1;
  const double loaded_at = notes[0][u"loaded_at"_s].toDouble();
  for (const QJsonValue& value : notes) {
    const QJsonObject note = value.toObject();
    EXPECT_EQ(note[u"navigations"_s].toInt(), 1);
    EXPECT_EQ(note[u"loaded_at"_s].toDouble(), loaded_at);
    EXPECT_FALSE(note[u"offline"_s].toBool());
    EXPECT_GE(note[u"refreshes"_s].toInt(), last_refreshes);
    last_refreshes = note[u"refreshes"_s].toInt();
    const QJsonObject shown = note[u"values"_s].toObject();
    if (shown[u"val-state"_s].toString() == u"进行中"_s)
      validated_while_running.insert(Shown(shown[u"val-done"_s]));
  }
  EXPECT_GE(validated_while_running.size(), 2) << output.toStdString();
  EXPECT_GE(last_refreshes, 2);

  // At the end: the counts of the list the server holds.
  const QJsonObject last = notes.last().toObject();
  const QJsonObject shown = last[u"values"_s].toObject();
  EXPECT_EQ(Curl(api_port, u"UseKey&getcount&"_s), "1|" + QByteArray::number(rows));
  EXPECT_EQ(Curl(api_port, u"UseKey&getip&0&0&100&0"_s).count("<br/>"), 100);
  const std::pair<const char16_t*, int> expected[] = {
      {u"rows", rows},        {u"working", 100},     {u"failed", 20},      {u"untested", 0},
      {u"proto-http", 100},   {u"proto-socks5", 20}, {u"proto-socks4", 0}, {u"level-elite", 40},
      {u"level-unknown", 80}, {u"val-done", rows},   {u"val-total", rows}, {u"region-count", 3},
  };
  for (const auto& [key, number] : expected)
    EXPECT_EQ(Shown(shown[QString::fromUtf16(key)]), number)
        << QString::fromUtf16(key).toStdString();
  EXPECT_EQ(shown[u"val-state"_s].toString(), u"已结束"_s);
  const QJsonArray regions = last[u"regions"_s].toArray();
  ASSERT_EQ(regions.size(), 3);
  for (qsizetype i = 0; i < regions.size(); ++i) {
    EXPECT_EQ(regions[i][0].toString(), kRegions[static_cast<std::size_t>(i)].first);
    EXPECT_EQ(Shown(regions[i][1]), kRegions[static_cast<std::size_t>(i)].second);
  }
  const QJsonArray probes = last[u"probes"_s].toArray();
  ASSERT_GE(probes.size(), 2);
  EXPECT_EQ(probes[0][0].toString(), u"成功"_s);
  EXPECT_EQ(Shown(probes[0][1]), 100);
  EXPECT_EQ(probes[1][0].toString(), u"连接被拒绝"_s);
  EXPECT_EQ(Shown(probes[1][1]), 20);
  EXPECT_TRUE(last[u"text"_s].toString().contains(u"ProxyHarvest 状态"_s));

  // The screenshots stay beside the build for people to look at.
  QFile desktop(artefacts + u"/status-page-desktop.png"_s);
  QFile phone(artefacts + u"/status-page-phone.png"_s);
  ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
  ASSERT_TRUE(phone.open(QIODevice::ReadOnly));
  EXPECT_EQ(PngWidth(desktop.readAll()), 1280);
  EXPECT_EQ(PngWidth(phone.readAll()), 390);
  EXPECT_GE(server.Stop(), 0);
  EXPECT_EQ(server.process.exitCode(), 0);
}

TEST_F(StatusPageTest, MetricsPassPromtoolParseInPrometheusAndCountTheList) {
  Prepare(80, 20, 20, 0, 20);
  Server server;
  server.Start(dir.Path(), Arguments({u"--validate-now"_s}));
  ASSERT_TRUE(server.Logged(u"所有验证线程命令已执行完毕"_s)) << server.log.toStdString();
  for (int i = 0; i < 3; ++i) Curl(api_port, u"UseKey&getcount&"_s);
  QByteArray text;
  ASSERT_EQ(Fetch(Url(u"/metrics"_s), &text), 200);

  QByteArray lint;
  QByteArray errors;
  EXPECT_EQ(RunProgram(u"promtool"_s, {u"check"_s, u"metrics"_s}, text, lint, 30000, &errors), 0)
      << lint.toStdString() << errors.toStdString();
  EXPECT_TRUE(lint.trimmed().isEmpty()) << lint.toStdString();

  const std::map<QString, double> samples = ParsedMetrics(text);
  const std::pair<QString, double> expected[] = {
      {u"proxyharvest_rows{\"state\": \"working\"}"_s, 100},
      {u"proxyharvest_rows{\"state\": \"failed\"}"_s, 20},
      {u"proxyharvest_rows{\"state\": \"untested\"}"_s, 0},
      {u"proxyharvest_rows_by_protocol{\"protocol\": \"http\"}"_s, 100},
      {u"proxyharvest_rows_by_protocol{\"protocol\": \"socks5\"}"_s, 20},
      {u"proxyharvest_rows_by_anonymity{\"level\": \"elite\"}"_s, 40},
      {u"proxyharvest_probes_total{\"result\": \"success\"}"_s, 100},
      {u"proxyharvest_probes_total{\"result\": \"refused\"}"_s, 20},
      {u"proxyharvest_probe_duration_seconds_count{}"_s, 120},
      {u"proxyharvest_probe_duration_seconds_bucket{\"le\": \"+Inf\"}"_s, 120},
      {u"proxyharvest_api_requests_total{\"command\": \"getcount\"}"_s, 3},
      {u"proxyharvest_validation_entries{\"state\": \"validated\"}"_s, 120},
      {u"proxyharvest_validation_running{}"_s, 0},
      {u"proxyharvest_healthy{}"_s, 1},
  };
  for (const auto& [name, value] : expected) {
    ASSERT_TRUE(samples.contains(name)) << name.toStdString() << "\n" << text.toStdString();
    EXPECT_EQ(samples.at(name), value) << name.toStdString();
  }
  const double started = samples.at(u"proxyharvest_process_start_time_seconds{}"_s);
  EXPECT_GT(started, 1.5e9);
  EXPECT_LE(started, static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000);
  EXPECT_GE(server.Stop(), 0);
}

TEST_F(StatusPageTest, AwayFromLoopbackAWrongOrMissingPasswordGets401) {
  WriteServerFiles(dir, api_port, pages.Port());
  Server server;
  server.Start(dir.Path(),
               {u"--config"_s, dir.File(u"proxyharvest.ini"_s), u"--db"_s,
                dir.File(u"proxyharvest.db"_s), u"--status"_s, u"0.0.0.0:%1"_s.arg(status_port)});
  ASSERT_TRUE(server.Logged(u"状态页已启动: http://0.0.0.0:%1/"_s.arg(status_port)))
      << server.log.toStdString();
  // The settings give the status page no password of its own: the control API's holds.
  EXPECT_EQ(Fetch(Url(u"/metrics"_s)), 401);
  EXPECT_EQ(Fetch(Url(u"/"_s), nullptr, {u"-u"_s, u"admin:wrong"_s}), 401);
  EXPECT_EQ(Fetch(Url(u"/status.json"_s), nullptr, {u"-u"_s, u"admin:UseKey"_s}), 200);
  EXPECT_EQ(Fetch(Url(u"/healthz"_s)), 200);
  EXPECT_GE(server.Stop(), 0);
}

TEST_F(StatusPageTest, HealthzTurns503WhenTheDatabaseDirectoryBecomesReadOnly) {
  WriteServerFiles(dir, api_port, pages.Port());
  const QString data = dir.File(u"data"_s);
  ASSERT_TRUE(QDir().mkpath(data));
  // Root writes whatever the permissions say: then the server runs as nobody, in a
  // directory of its own.
  QStringList launcher;
  if (::geteuid() == 0) {
    QByteArray ignored;
    ASSERT_EQ(RunProgram(u"chown"_s, {u"-R"_s, u"65534:65534"_s, dir.Path()}, {}, ignored), 0);
    launcher = {u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s};
  }
  Server server;
  server.Start(dir.Path(),
               {u"--config"_s, dir.File(u"proxyharvest.ini"_s), u"--db"_s,
                data + u"/proxyharvest.db"_s, u"--status"_s, QString::number(status_port)},
               launcher);
  ASSERT_TRUE(server.Logged(u"状态页已启动"_s)) << server.log.toStdString();
  EXPECT_EQ(Fetch(Url(u"/healthz"_s)), 200);

  const auto read_only = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(data, read_only));
  QByteArray body;
  EXPECT_EQ(Fetch(Url(u"/healthz"_s), &body), 503);
  EXPECT_TRUE(QString::fromUtf8(body).contains(u"不可写"_s)) << body.toStdString();
  QByteArray metrics;
  Fetch(Url(u"/metrics"_s), &metrics);
  EXPECT_TRUE(metrics.contains("proxyharvest_healthy 0\n"));

  ASSERT_TRUE(QFile::setPermissions(data, read_only | QFile::WriteOwner));
  EXPECT_EQ(Fetch(Url(u"/healthz"_s)), 200);
  EXPECT_GE(server.Stop(), 0);
  EXPECT_EQ(server.process.exitCode(), 0) << server.log.toStdString();
}

}  // namespace
}  // namespace ph
