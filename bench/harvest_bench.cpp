// Harvest work on the window's thread: pages and 66ip replies into rows with their regions
// from a 10 MB database, the region fill-in of a large list, and a whole harvest from
// loopback page servers. Besides the time, the longest stretch without an event-loop turn.
#include "core/app_state.h"
#include "core/proxy_list.h"
#include "harvest/harvest_control.h"
#include "harvest/sources.h"
#include "iploc/ip_location.h"
#include "iploc/region_fill.h"
#include "list_view.h"
#include "null_window.h"
#include "support/http_fixtures.h"
#include "support/qqwry_builder.h"
#include "synthetic_database.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <random>
#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// A program directory with the 10 MB database, whose web endpoints are a loopback server.
class Setting {
 public:
  Setting() {
    test::WriteDatabaseFile(dir_.filePath(u"qqwry.dat"_s), bench::SyntheticDatabase());
    const std::string base = "http://127.0.0.1:" + std::to_string(server_.Port());
    QFile ini(dir_.filePath(u"endpoints.ini"_s));
    if (ini.open(QIODevice::WriteOnly))
      ini.write(("xicidaili=" + base + "\nip66=" + base + "\ninfo_126=" + base + "\n").c_str());
  }
  ProgramDir Dir() const { return ProgramDir(dir_.path()); }
  test::PageServer& Server() { return server_; }

 private:
  QTemporaryDir dir_;
  test::PageServer server_;
};

Setting& SharedSetting() {
  static Setting setting;
  return setting;
}

std::string RandomIp(std::mt19937& random) {
  return std::to_string(random() % 223 + 1) + "." + std::to_string(random() % 256) + "." +
         std::to_string(random() % 256) + "." + std::to_string(random() % 256);
}

// A list-site page of 100 rows; every region cell needs a lookup ("3天" is no place).
std::string XiciPage(std::mt19937& random) {
  std::string page = "<table id=\"ip_list\"><tr><th>国家</th><th>IP地址</th></tr>\r\n";
  for (int i = 0; i < 100; ++i) {
    page += "<tr class=\"odd\">\r\n<td class=\"country\"><img src=\"/cn.png\" /></td>\r\n<td>" +
            RandomIp(random) + "</td>\r\n<td>" + std::to_string(8000 + i) +
            "</td>\r\n<td>\r\n<a href=\"/x\">3天</a>\r\n</td>\r\n<td class=\"country\">高匿</td>"
            "\r\n<td>HTTP</td>\r\n</tr>\r\n";
  }
  return page + "</table>";
}

std::string Ip66ReplyText(std::mt19937& random, int lines) {
  std::string reply = "<script src=\"x.js\"></script>";
  for (int i = 0; i < lines; ++i)
    reply += RandomIp(random) + ":" + std::to_string(80 + i) + "<br/>";
  return reply + "</div>";
}

// Rows with their regions looked up, as a harvest makes them, into the list in one batch.
void AppendLocated(AppState& app, const std::vector<HarvestedRow>& found) {
  std::vector<NewRow> rows(found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    rows[i][kAddress - 1] = found[i].address;
    rows[i][kRegion - 1] =
        found[i].locate.isEmpty() ? found[i].region : bench::LocatedNow(found[i].locate, app);
    rows[i][kProxyType - 1] = found[i].type;
  }
  app.List().AppendRows(rows);
}

void BM_XiciPageOf100RowsIntoTheList(benchmark::State& state) {
  bench::NullWindow window;
  AppState app(window, SharedSetting().Dir());
  auto view = bench::AttachedView(app.List());
  std::mt19937 random(3);
  const QString page = QString::fromStdString(XiciPage(random));
  for (auto _ : state) {
    AppendLocated(app, ParseXiciPage(page, XiciCategories()[0]));
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_XiciPageOf100RowsIntoTheList)->Unit(benchmark::kMillisecond);

void BM_Ip66ReplyOf800LinesIntoTheList(benchmark::State& state) {
  bench::NullWindow window;
  AppState app(window, SharedSetting().Dir());
  auto view = bench::AttachedView(app.List());
  std::mt19937 random(5);
  const QString reply = QString::fromStdString(Ip66ReplyText(random, 800));
  for (auto _ : state) {
    const Ip66Reply parsed = Parse66ipReply(reply);
    std::vector<HarvestedRow> rows;
    for (const QString& line : parsed.lines)
      if (line.contains(u':')) rows.push_back(Ip66Row(line));
    AppendLocated(app, rows);
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * 800);
}
BENCHMARK(BM_Ip66ReplyOf800LinesIntoTheList)->Unit(benchmark::kMillisecond);

// The longest stretch between two turns of the event loop while it is watched.
class GapWatch {
 public:
  GapWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { longest_ms_ = std::max(longest_ms_, clock_.restart()); });
    clock_.start();
    timer_.start(1);
  }
  qint64 LongestMs() const { return longest_ms_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ms_ = 0;
};

void BM_RegionFillOf100kRows(benchmark::State& state) {
  bench::NullWindow window;
  std::mt19937 random(9);
  qint64 longest_gap_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    AppState app(window, SharedSetting().Dir());
    std::vector<NewRow> rows(100000);
    for (NewRow& row : rows) row[kAddress - 1] = QString::fromStdString(RandomIp(random) + ":80");
    app.List().AppendRows(rows);
    auto view = bench::AttachedView(app.List());
    RegionFill fill(app.List(), app.Dir(), app.EndpointTable());
    bool done = false;
    state.ResumeTiming();

    GapWatch gaps;
    fill.Start([&] { done = true; });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    longest_gap_ms = std::max(longest_gap_ms, gaps.LongestMs());
  }
  state.counters["longest_gap_ms"] = static_cast<double>(longest_gap_ms);
}
BENCHMARK(BM_RegionFillOf100kRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WholeHarvestFromLoopback(benchmark::State& state) {
  Setting& setting = SharedSetting();
  std::mt19937 random(13);
  for (const char* path : {"/nn/", "/nt/", "/wn/", "/wt/"}) {
    for (int page = 1; page <= 5; ++page)
      setting.Server().Set(path + std::to_string(page), {200, XiciPage(random), "text/html", 0});
  }
  setting.Server().Set(
      "/nmtq.php?getnum=800&isp=0&anonymoustype=0&start=&ports=&export="
      "&ipaddress=&area=1&proxytype=1&api=66ip",
      {200, Ip66ReplyText(random, 800), "text/html", 0});
  bench::NullWindow window;
  qint64 longest_gap_ms = 0;
  int rows = 0;
  for (auto _ : state) {
    state.PauseTiming();
    AppState app(window, setting.Dir());
    app.Startup();
    HarvestControl control(app);
    for (CheckField box : {&SettingsPanel::Check1, &SettingsPanel::Check2, &SettingsPanel::Check6,
                           &SettingsPanel::Check7, &SettingsPanel::Check3})
      app.Config().SetCheck(box, 1);
    app.Config().SetCheck(&SettingsPanel::Check9, 0);  // the built-in public lists are not ours
    app.Config().SetText(&SettingsPanel::Text7, u"0"_s);
    auto view = bench::AttachedView(app.List());
    state.ResumeTiming();

    GapWatch gaps;
    control.StartHarvest();
    while (control.Run() != nullptr) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    longest_gap_ms = std::max(longest_gap_ms, gaps.LongestMs());
    rows = app.List().RowCount();
  }
  state.counters["rows"] = rows;
  state.counters["longest_gap_ms"] = static_cast<double>(longest_gap_ms);
}
BENCHMARK(BM_WholeHarvestFromLoopback)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace ph
