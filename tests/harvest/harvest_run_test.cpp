#include "harvest/harvest_run.h"

#include "core/gbk.h"
#include "harvest/harvest_fixture.h"
#include "harvest/sources.h"

#include <QTimer>

#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::HarvestTest;
using test::Page;

// Pages shaped like the list site's: a header row without class, rows with and without
// attributes on their cells.
std::string ListPage(const std::string& rows) {
  return "<html><body><table id=\"ip_list\">\r\n<tr>\r\n<th class=\"country\">国家</th>"
         "<th>IP地址</th><th>端口</th><th>服务器地址</th><th>是否匿名</th><th>类型</th>"
         "</tr>\r\n" +
         rows + "</table></body></html>";
}

std::string DomesticRow(const std::string& cls, const std::string& ip, const std::string& port,
                        const std::string& region_cell) {
  return "<tr class=\"" + cls +
         "\">\r\n<td class=\"country\"><img src=\"/flag/cn.png\" "
         "alt=\"Cn\" /></td>\r\n<td>" +
         ip + "</td>\r\n<td>" + port + "</td>\r\n<td>\r\n" + region_cell +
         "\r\n</td>\r\n<td class=\"country\">高匿</td>\r\n<td>HTTP</td>\r\n"
         "<td class=\"country\"><div title=\"0.2秒\" class=\"bar\"></div></td>\r\n"
         "<td>3天</td>\r\n</tr>\r\n";
}

std::string ForeignRow(const std::string& ip, const std::string& port, const std::string& region) {
  return "<tr class=\"odd\">\r\n<td class=\"country\"><img src=\"/flag/us.png\" /></td>\r\n"
         "<td>" +
         ip + "</td>\r\n<td> \t" + port + " \r\n</td>\r\n<td>\r\n\t " + region +
         " \r\n</td>\r\n<td class=\"country\">透明</td>\r\n</tr>\r\n";
}

std::string Ip66Page(const std::string& inside) {
  return "<html><script src=\"x.js\"></script>" + inside + "</div></html>";
}

TEST_F(HarvestTest, EveryCategoryPageByPageWithRegionsTypesAndIndex) {
  Sources(1, 1, 1, 1, 0);
  Pages(2);
  state.List().AppendRow({u"0.0.0.1:1"_s, u"已有"_s});
  server.Set("/nn/1",
             {200,
              ListPage(DomesticRow("odd", "1.0.0.1", "80", "<a href=\"/2019/beijing\">北京</a>") +
                       DomesticRow("", "1.0.0.2", "8080", "北京")),
              "text/html; charset=utf-8", 0});
  server.Set("/nn/2", {200, ListPage(DomesticRow("odd", "2.0.0.3", "81", "<a href=\"/x\">京</a>")),
                       "text/html; charset=utf-8", 0});
  server.Set("/nt/1",
             {200, ListPage(DomesticRow("odd", "2.0.0.4", "3128", "<a href=\"/x\">3天</a>")),
              "text/html; charset=utf-8", 0});
  // /nt/2 answers 404: no rows, the run goes on.
  server.Set("/wn/1",
             {200, ListPage(ForeignRow("1.0.0.5", "8000", "美国")), "text/html; charset=utf-8", 0});
  server.Set("/wn/2",
             {200, ListPage(ForeignRow("1.0.0.6", "8001", "")), "text/html; charset=utf-8", 0});
  server.Set("/wt/2", {200, ListPage(ForeignRow("2.0.0.7", "9\t9", "日\r\n本")),
                       "text/html; charset=utf-8", 0});
  Harvest();

  EXPECT_EQ(Column(kAddress), QStringList({u"0.0.0.1:1"_s, u"1.0.0.1:80"_s, u"1.0.0.2:8080"_s,
                                           u"2.0.0.3:81"_s, u"2.0.0.4:3128"_s, u"1.0.0.5:8000"_s,
                                           u"1.0.0.6:8001"_s, u"2.0.0.7:99"_s}));
  // A link text of two characters or more stands; no link, one character, a text that
  // begins with a number, or an empty foreign cell are looked up.
  EXPECT_EQ(Column(kRegion), QStringList({u"已有"_s, u"北京"_s, u"一区 甲"_s, u"二区 乙"_s,
                                          u"二区 乙"_s, u"美国"_s, u"一区 甲"_s, u"日本"_s}));
  EXPECT_EQ(Column(kProxyType),
            QStringList({u""_s, u"高匿"_s, u"高匿"_s, u"高匿"_s, u"透明(普通)"_s, u"高匿"_s,
                         u"高匿"_s, u"透明(普通)"_s}));
  EXPECT_EQ(Column(kIndex),
            QStringList({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s}));
  EXPECT_TRUE(log.history.contains(u"正在采集西刺高匿代理的第 1 页数据..."_s));
  EXPECT_TRUE(log.history.contains(u"正在采集西刺普通代理的第 2 页数据..."_s));
  EXPECT_TRUE(log.history.contains(u"正在采集西刺国外高匿代理的第 2 页数据..."_s));
  EXPECT_TRUE(log.history.contains(u"正在采集西刺国外普通代理的第 1 页数据..."_s));
  EXPECT_EQ(log.history.mid(log.history.size() - 2),
            QStringList({u"数据验证完成..."_s, u"采集完成..."_s}));
  EXPECT_FALSE(control.Running());
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"8"_s);
  EXPECT_EQ(server.Requests(), 8);
}

TEST(XiciRowPieces, AHostilePageGivesBoundedRowsWithoutEndingBadly) {
  const XiciCategory& domestic = XiciCategories()[0];
  const XiciCategory& foreign = XiciCategories()[3];
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "<tr class=";
  const QString pages[] = {QString::fromStdString(many), u"<tr class=<td>1.2.3.4"_s,
                           u"<tr class=\"odd\"><td>1.2.3.4</td><td>80"_s, QString(10'000'000, u'x'),
                           u"<tr class="_s};
  for (const QString& page : pages) {
    const std::vector<QStringView> pieces = XiciRowPieces(page);
    EXPECT_LE(pieces.size(), static_cast<std::size_t>(kMostRowsPerPage));
    for (const QStringView piece : pieces) {
      for (const XiciCategory* category : {&domestic, &foreign}) {
        const HarvestedRow row = ParseXiciRow(piece.toString(), *category);
        EXPECT_FALSE(row.address.isEmpty());
      }
    }
  }
  EXPECT_TRUE(XiciRowPieces(u"<table><tr><td>1.2.3.4</td></tr></table>"_s).empty());
  // A row without its cells is still a row; its parts read "Nothing".
  EXPECT_EQ(ParseXiciRow(u"\"odd\"><td>1.2.3.4"_s, domestic).address, u"Nothing:Nothing"_s);
}

struct Ip66Case {
  const char* name;
  std::string body;
  QStringList addresses;
  QString no_data_text;  // empty: the reply has data
};

void PrintTo(const Ip66Case& c, std::ostream* out) { *out << c.name; }

class Ip66Test : public HarvestTest, public ::testing::WithParamInterface<Ip66Case> {};

TEST_P(Ip66Test, RepliesGiveRowsOrTheirMessage) {
  const Ip66Case& c = GetParam();
  Sources(0, 0, 0, 0, 1);
  state.List().AppendRow({u"1.0.0.9:1"_s});  // no region: the fill-in looks it up, or not
  server.Set(
      "/nmtq.php?getnum=800&isp=0&anonymoustype=0&start=&ports=&export=&ipaddress=&area=1"
      "&proxytype=1&api=66ip",
      {200, c.body, "text/html; charset=utf-8", 0});
  Harvest();
  EXPECT_EQ(log.history.first(),
            u"即将采集66IP的数据,改数据量较大,会造成程序假死的状态,省略并稍微等待即可!"_s);
  EXPECT_EQ(log.history.last(), u"采集完成..."_s);
  QStringList addresses = Column(kAddress);
  addresses.removeFirst();
  EXPECT_EQ(addresses, c.addresses);
  if (c.no_data_text.isEmpty()) {
    EXPECT_EQ(Column(kRegion).first(), u"一区 甲"_s);
    for (int row = 2; row <= state.List().RowCount(); ++row) {
      EXPECT_TRUE(state.List().CellText(row, kProxyType).isEmpty());
      EXPECT_FALSE(state.List().CellText(row, kRegion).isEmpty());
    }
  } else {
    EXPECT_EQ(log.history.mid(1), QStringList({c.no_data_text, u"采集完成..."_s}));
    EXPECT_TRUE(Column(kRegion).first().isEmpty());  // no fill-in on this path
  }
  EXPECT_FALSE(control.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Ip66Test,
    ::testing::Values(Ip66Case{"Lines",
                               Ip66Page("1.0.0.1:80<br/>  2.0.0.2 : 81<br/><br/>no colon<br/>"),
                               {u"1.0.0.1:80"_s, u"2.0.0.2:81"_s},
                               {}},
                      Ip66Case{"OneLine", Ip66Page("1.0.0.3:8080"), {u"1.0.0.3:8080"_s}, {}},
                      Ip66Case{"ServerTrouble",
                               Ip66Page("服务器开小差了"),
                               {},
                               u"66ip的服务器懵逼了,暂时没数据,请稍后再试!"_s},
                      Ip66Case{"Empty", "", {}, u"66ip 没有任何数据返回.."_s},
                      Ip66Case{"NoMarkers", "1.2.3.4:80", {}, u"66ip 没有任何数据返回.."_s}),
    [](const ::testing::TestParamInfo<Ip66Case>& info) { return std::string(info.param.name); });

TEST_F(HarvestTest, TheNoDataPauseIsThreeSecondsByDefault) {
  HarvestRun run(state);
  Sources(0, 0, 0, 0, 1);
  bool finished = false;
  QObject::connect(&run, &HarvestRun::Finished, [&] { finished = true; });
  const long long ms = test::TimeMs([&] {
    run.Start();
    ASSERT_TRUE(test::WaitFor([&] { return finished; }, 10000));
  });
  EXPECT_GE(ms, 3000);
  EXPECT_EQ(log.history.last(), u"采集完成..."_s);
}

TEST_F(HarvestTest, NoPagesOrNoSourcesLeaveOnlyTheFillIn) {
  for (const auto& [pages, high] : {std::pair{0, 1}, std::pair{5, 0}}) {
    Sources(high, 0, 0, 0, 0);
    Pages(pages);
    state.List().Clear();
    state.List().AppendRow({u"2.0.0.1:80"_s});
    log.history.clear();
    Harvest();
    EXPECT_EQ(server.Requests(), 0);
    EXPECT_EQ(Column(kRegion), QStringList({u"二区 乙"_s}));
    EXPECT_EQ(log.history, QStringList({u"数据验证完成..."_s, u"采集完成..."_s}));
    EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"1"_s);
  }
}

TEST_F(HarvestTest, AStopDuringAFetchKeepsThatPageOutAndEndsTheRun) {
  Sources(1, 0, 0, 0, 1);
  Pages(3);
  server.Set("/nn/1", {200, ListPage(DomesticRow("odd", "1.0.0.1", "80", "")),
                       "text/html; charset=utf-8", 300});
  QTimer::singleShot(100, [this] { control.StopHarvest(); });
  Harvest();
  EXPECT_EQ(state.List().RowCount(), 0);
  EXPECT_EQ(log.history.last(), u"停止采集..."_s);
  EXPECT_EQ(server.Requests(), 1);  // no further page, no 66ip
  EXPECT_FALSE(control.Running());
}

TEST_F(HarvestTest, AStopWhileAPagesRowsAreLocatedLetsThatPageFinish) {
  Sources(1, 0, 0, 0, 1);
  Pages(3);
  QFile::remove(dir.File(u"qqwry.dat"_s));  // locations come from the web, slowly
  server.Set("/nn/1", {200,
                       ListPage(DomesticRow("odd", "1.0.0.1", "80", "") +
                                DomesticRow("odd", "1.0.0.2", "81", "")),
                       "text/html; charset=utf-8", 0});
  server.Set("/ipquery?ip=1.0.0.1", {200, R"(lo="远", lc="方")", "text/plain", 300});
  QTimer::singleShot(100, [this] { control.StopHarvest(); });
  Harvest();
  EXPECT_EQ(Column(kAddress), QStringList({u"1.0.0.1:80"_s, u"1.0.0.2:81"_s}));
  EXPECT_EQ(Column(kRegion).first(), u"远 方"_s);
  EXPECT_EQ(log.history.last(), u"停止采集..."_s);
  EXPECT_EQ(server.Requests(), 3);  // the page and its two lookups
}

TEST_F(HarvestTest, AStopAfterTheLastPageCheckLetsTheRestHappen) {
  Sources(1, 0, 0, 0, 1);
  Pages(1);
  server.Set("/nn/1", {200, ListPage(DomesticRow("odd", "1.0.0.1", "80", "<a href=/>北京</a>")),
                       "text/html; charset=utf-8", 0});
  // The stop comes while the 66ip request waits: the 66ip rows, the fill-in and the final
  // status all still happen.
  server.Set(
      "/nmtq.php?getnum=800&isp=0&anonymoustype=0&start=&ports=&export=&ipaddress=&area=1"
      "&proxytype=1&api=66ip",
      {200, Ip66Page("2.0.0.1:80"), "text/html; charset=utf-8", 300});
  QObject::connect(&state.StatusBar(), &Status::TextChanged, &state, [this](const QString& text) {
    if (text.startsWith(u"即将采集66IP"_s)) control.StopHarvest();
  });
  Harvest();
  EXPECT_EQ(Column(kAddress), QStringList({u"1.0.0.1:80"_s, u"2.0.0.1:80"_s}));
  EXPECT_EQ(log.history.last(), u"采集完成..."_s);
}

TEST_F(HarvestTest, ClearingOrDeduplicatingDuringAWebLookupNeverMisplacesARegion) {
  Sources(1, 0, 0, 0, 0);
  Pages(1);
  QFile::remove(dir.File(u"qqwry.dat"_s));
  server.Set("/nn/1", {200, ListPage(DomesticRow("odd", "1.0.0.1", "80", "")),
                       "text/html; charset=utf-8", 0});
  server.Set("/ipquery?ip=1.0.0.1", {200, R"(lo="新", lc="行")", "text/plain", 200});
  server.Set("/ipquery?ip=3.3.3.3", {200, R"(lo="旧", lc="行")", "text/plain", 200});
  server.Set("/ipquery?ip=4.4.4.4", {200, R"(lo="另", lc="行")", "text/plain", 200});
  state.List().AppendRow({u"3.3.3.3:80"_s});
  state.List().AppendRow({u"3.3.3.3:80"_s});
  state.List().AppendRow({u"4.4.4.4:80"_s});
  // While the page's row is located, the list is cleared and filled anew; while the fill-in
  // looks up the first old row, the copies are removed and rows move up.
  QTimer::singleShot(100, [this] {
    state.List().Clear();
    for (const QString& address : {u"3.3.3.3:80"_s, u"3.3.3.3:80"_s, u"4.4.4.4:80"_s})
      state.List().AppendRow({address});
  });
  QObject::connect(&state.StatusBar(), &Status::RowsChanged, &state, [this](int rows) {
    if (rows == 4) QTimer::singleShot(100, [this] { state.List().RemoveRows({false, true}); });
  });
  Harvest();
  EXPECT_EQ(Column(kAddress), QStringList({u"3.3.3.3:80"_s, u"4.4.4.4:80"_s, u"1.0.0.1:80"_s}));
  EXPECT_EQ(Column(kRegion), QStringList({u"旧 行"_s, u"另 行"_s, u"新 行"_s}));
}

TEST_F(HarvestTest, ASecondStartDuringAHarvestIsRefused) {
  Sources(1, 0, 0, 0, 0);
  Pages(1);
  server.Set("/nn/1", {200, ListPage(DomesticRow("odd", "1.0.0.1", "80", "")),
                       "text/html; charset=utf-8", 300});
  control.StartHarvest();
  control.StartHarvest();
  EXPECT_EQ(state.StatusBar().Text(), u"正在采集,请等待本次采集完成.."_s);
  ASSERT_TRUE(test::WaitFor([&] { return control.Run() == nullptr; }, 5000));
  EXPECT_EQ(state.List().RowCount(), 1);
  EXPECT_EQ(server.Requests(), 1);
}

}  // namespace
}  // namespace ph
