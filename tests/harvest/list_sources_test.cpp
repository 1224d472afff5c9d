#include "harvest/list_sources.h"

#include "core/gbk.h"
#include "harvest/harvest_fixture.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::Page;

TEST(SourcesIni, ReadsSourcesAndReportsEveryLineItCannotUseByNumber) {
  const QString text =
      u"# comments and blank lines are skipped\r\n"
      "; like this one\r\n"
      "\r\n"
      "plain = http://127.0.0.1:1/a.txt\r\n"
      "socks =socks5  https://list.test/b.txt\n"
      "upper = SOCKS4A http://list.test/c.txt\n"
      "本地 = mine.txt\n"
      "absolute = /srv/lists/all.txt\n"
      "spaced = socks4 sub dir/list.txt\n"
      "no equals sign\n"
      "= http://list.test/nameless\n"
      "empty =\n"
      "unknown = socks6 http://list.test/d.txt\n"
      "other scheme = ftp://list.test/e.txt\n"
      "only a word = socks5\n"
      "broken = http://\n"_s;
  const SourcesFile file = ParseSources(text, u"/etc/ph"_s);
  const struct {
    QString name;
    QString location;
    bool is_file;
    ListProtocol bare;
  } expected[] = {
      {u"plain"_s, u"http://127.0.0.1:1/a.txt"_s, false, ListProtocol::Http},
      {u"socks"_s, u"https://list.test/b.txt"_s, false, ListProtocol::Socks5},
      {u"upper"_s, u"http://list.test/c.txt"_s, false, ListProtocol::Socks4},
      {u"本地"_s, u"/etc/ph/mine.txt"_s, true, ListProtocol::Http},
      {u"absolute"_s, u"/srv/lists/all.txt"_s, true, ListProtocol::Http},
      {u"spaced"_s, u"/etc/ph/sub dir/list.txt"_s, true, ListProtocol::Socks4},
  };
  ASSERT_EQ(file.sources.size(), std::size(expected));
  for (std::size_t i = 0; i < file.sources.size(); ++i) {
    const ListSource& source = file.sources[i];
    EXPECT_EQ(source.name, expected[i].name);
    EXPECT_EQ(source.location, expected[i].location);
    EXPECT_EQ(source.is_file, expected[i].is_file) << i;
    EXPECT_EQ(source.bare, expected[i].bare) << i;
  }
  EXPECT_EQ(file.problems,
            QStringList({u"第10行: no equals sign"_s, u"第11行: = http://list.test/nameless"_s,
                         u"第12行: empty ="_s, u"第13行: unknown = socks6 http://list.test/d.txt"_s,
                         u"第14行: other scheme = ftp://list.test/e.txt"_s,
                         u"第15行: only a word = socks5"_s, u"第16行: broken = http://"_s}));
}

TEST(SourcesIni, NoFileMeansTheBuiltInListsAnEmptyFileMeansNone) {
  test::TempProgramDir dir;
  const SourcesFile missing = ReadSourcesFile(dir.File(u"sources.ini"_s));
  EXPECT_EQ(missing.sources.size(), DefaultListSources().size());
  EXPECT_TRUE(missing.problems.isEmpty());
  dir.Write(u"sources.ini"_s, "# nothing\n");
  EXPECT_TRUE(ReadSourcesFile(dir.File(u"sources.ini"_s)).sources.empty());
}

TEST(SourcesIni, AFileOverOneMebibyteKeepsItsWholeLinesAndSaysSo) {
  test::TempProgramDir dir;
  QByteArray text = "first = http://list.test/a.txt\n#";
  text += QByteArray(1024 * 1024 - text.size() - 20, 'x') + '\n';
  // The limit falls inside this line: read up to it, it would name a shorter URL.
  text += "cut = http://list.test/cut-here.txt\n";
  dir.Write(u"sources.ini"_s, text);
  const SourcesFile file = ReadSourcesFile(dir.File(u"sources.ini"_s));
  ASSERT_EQ(file.sources.size(), 1u);
  EXPECT_EQ(file.sources[0].name, u"first"_s);
  EXPECT_EQ(file.problems, QStringList({u"文件超过 1 MiB, 其后的行未读取"_s}));
}

TEST(SourcesIni, AFifoOrADeviceIsRefusedWithTheReasonNotWaitedFor) {
  test::TempProgramDir dir;
  const QString path = dir.File(u"sources.ini"_s);
  const std::vector<std::function<void()>> makes{
      [&] { QFile::link(u"/dev/zero"_s, path); },
      [&] { QDir().mkpath(path); },
  };
  {
    const test::Fifo fifo(path);
    ASSERT_TRUE(fifo.Made());
    const SourcesFile file = ReadSourcesFile(path);
    EXPECT_TRUE(file.sources.empty());
    EXPECT_EQ(file.problems, QStringList({u"无法读取文件: 不是普通文件"_s}));
  }
  for (const auto& make : makes) {
    QFile::remove(path);
    make();
    const SourcesFile file = ReadSourcesFile(path);
    EXPECT_TRUE(file.sources.empty());
    EXPECT_EQ(file.problems, QStringList({u"无法读取文件: 不是普通文件"_s}));
  }
}

// A whole program state whose "sources.ini" names loopback lists and files.
class ListSourcesTest : public test::HarvestTest {
 protected:
  ListSourcesTest() {
    Sources(0, 0, 0, 0, 0);
    state.Config().SetCheck(&SettingsPanel::Check9, 1);
  }
  // "name = [protocol] url-or-file"; "{web}" stands for the page server.
  void Lists(const QString& ini) {
    QString text = ini;
    text.replace(u"{web}"_s, QString::fromStdString(server.Url("")));
    dir.Write(u"sources.ini"_s, ToGbk(text));
  }
  void Serve(const std::string& path, std::string body) {
    server.Set(path, {200, std::move(body), "text/plain", 0});
  }
  bool Said(const QString& text) const { return log.history.contains(text); }
};

TEST_F(ListSourcesTest, EveryFormatGivesItsRowsOnceWithRegionAndNoType) {
  Serve("/bare.txt", "1.0.0.1:80\n1.0.0.2:81\n");
  Serve("/crlf.txt", "2.0.0.1:1080\r\n2.0.0.2:1081\r\n");
  Serve("/schemes.txt",
        "socks4://1.0.0.3:4145\nhttps://1.0.0.4:443\nsocks5h://2.0.0.3:9050\n"
        "1.0.0.1:80\n");
  Serve("/mixed.html",
        R"(<td>1.0.0.5:3128</td>{"proxy":"socks5:\/\/1.0.0.6:1080","ip":"1.0.0.7","port":8})");
  Serve("/garbage.bin", std::string("\x00\xff\x81:\x7f 9.9.9.\n::", 14));
  Serve("/empty.txt", "");
  dir.Write(u"local.txt"_s, "socks5://2.0.0.4:1080\r\n2.0.0.2:1081\r\n1.0.0.1:80\n");
  Lists(
      u"bare = {web}/bare.txt\n"
      "crlf = socks5 {web}/crlf.txt\n"
      "bad line\n"
      "schemes = {web}/schemes.txt\n"
      "mixed = {web}/mixed.html\n"
      "garbage = {web}/garbage.bin\n"
      "empty = {web}/empty.txt\n"
      "missing = {web}/missing.txt\n"
      "local = socks5 local.txt\n"
      "gone = no-such-file.txt\n"_s);
  Harvest();

  // The same address over another protocol is another proxy; a repeated one is dropped.
  EXPECT_EQ(Column(kAddress),
            QStringList({u"1.0.0.1:80"_s, u"1.0.0.2:81"_s, u"socks5://2.0.0.1:1080"_s,
                         u"socks5://2.0.0.2:1081"_s, u"socks4://1.0.0.3:4145"_s, u"1.0.0.4:443"_s,
                         u"socks5://2.0.0.3:9050"_s, u"1.0.0.5:3128"_s, u"socks5://1.0.0.6:1080"_s,
                         u"socks5://2.0.0.4:1080"_s, u"socks5://1.0.0.1:80"_s}));
  for (int row = 1; row <= state.List().RowCount(); ++row) {
    const QString address = state.List().CellText(row, kAddress);
    EXPECT_EQ(
        state.List().CellText(row, kRegion),
        address.contains(u"//1."_s) || address.startsWith(u'1') ? u"一区 甲"_s : u"二区 乙"_s);
    EXPECT_TRUE(state.List().CellText(row, kProxyType).isEmpty());
  }
  EXPECT_TRUE(Said(u"sources.ini 中有无法识别的行,已忽略: 第3行: bad line"_s));
  for (const QString& name : {u"bare"_s, u"crlf"_s, u"schemes"_s, u"garbage"_s, u"local"_s})
    EXPECT_TRUE(Said(u"正在采集公开列表 "_s + name + u"..."_s)) << name.toStdString();
  EXPECT_TRUE(Said(u"公开列表 missing 读取失败"_s));
  EXPECT_TRUE(Said(u"公开列表 gone 读取失败"_s));
  EXPECT_FALSE(Said(u"公开列表 empty 读取失败"_s));
  EXPECT_EQ(log.history.mid(log.history.size() - 2),
            QStringList({u"数据验证完成..."_s, u"采集完成..."_s}));
  EXPECT_EQ(server.Requests(), 7);
}

TEST_F(ListSourcesTest, EachListSaysWhatItAddedOrWhyItGaveNothing) {
  Serve("/a.txt", "1.0.0.1:80\n1.0.0.2:80\n");
  Serve("/b.txt", "1.0.0.2:80\n1.0.0.3:80\n");
  Serve("/none.txt", "no addresses\n");
  Lists(
      u"a = {web}/a.txt\nb = {web}/b.txt\nmissing = {web}/missing.txt\nnone = {web}/none.txt\n"_s);
  QStringList started;
  std::vector<ListSourceOutcome> read;
  QObject::connect(&control, &HarvestControl::SourceStarted, &control,
                   [&](const QString& name) { started << name; });
  QObject::connect(&control, &HarvestControl::ListSourceRead, &control,
                   [&](const ListSourceOutcome& outcome) { read.push_back(outcome); });
  Harvest();
  EXPECT_EQ(started, QStringList({u"a"_s, u"b"_s, u"missing"_s, u"none"_s, u"查询地区"_s}));
  ASSERT_EQ(read.size(), 4U);
  const std::tuple<QString, int, QString> expected[] = {
      {u"a"_s, 2, {}},
      {u"b"_s, 1, {}},  // its first address came before in the same harvest
      {u"missing"_s, 0, u"公开列表 missing 读取失败"_s},
      {u"none"_s, 0, {}},
  };
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].name, std::get<0>(expected[i]));
    EXPECT_EQ(read[i].added, std::get<1>(expected[i]));
    EXPECT_EQ(read[i].problem, std::get<2>(expected[i]));
  }
  EXPECT_EQ(state.List().RowCount(), 3);
}

TEST_F(ListSourcesTest, AListThatIsNoRegularFileIsRefusedAndTheHarvestGoesOn) {
  const test::Fifo fifo(dir.File(u"list.fifo"_s));
  ASSERT_TRUE(fifo.Made());
  ASSERT_TRUE(QFile::link(u"/dev/zero"_s, dir.File(u"zero.txt"_s)));
  ASSERT_TRUE(QDir().mkpath(dir.File(u"folder.txt"_s)));
  dir.Write(u"good.txt"_s, "1.0.0.1:80\n");
  Lists(u"fifo = list.fifo\nzero = zero.txt\nfolder = folder.txt\ngood = good.txt\n"_s);
  Harvest();
  for (const QString& name : {u"fifo"_s, u"zero"_s, u"folder"_s})
    EXPECT_TRUE(Said(u"公开列表 "_s + name + u" 读取失败"_s)) << name.toStdString();
  EXPECT_EQ(Column(kAddress), QStringList({u"1.0.0.1:80"_s}));
  EXPECT_EQ(log.history.last(), u"采集完成..."_s);
}

TEST_F(ListSourcesTest, AListOfMoreThanTheMostAddressesIsCutThere) {
  std::string big;
  for (int i = 0; i < 300000; ++i)
    big += "2." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256) + ":" + std::to_string(i % 65535 + 1) + "\n";
  Serve("/big.txt", big);
  Lists(u"big = {web}/big.txt\n"_s);
  Harvest();
  ASSERT_EQ(state.List().RowCount(), 200000);
  EXPECT_EQ(state.List().CellText(1, kAddress), u"2.0.0.0:1"_s);
  EXPECT_EQ(state.List().CellText(200000, kAddress), u"2.3.13.63:3395"_s);
  EXPECT_EQ(state.List().CellText(200000, kRegion), u"二区 乙"_s);
  EXPECT_TRUE(Said(u"公开列表 big 超过 200000 个地址,只取前 200000 个"_s));
}

TEST_F(ListSourcesTest, AListOfMoreThan20MegabytesIsCutThereWithoutItsPartialAddress) {
  // The cut falls inside the last address, right after "1.0.0.3:80" of "1.0.0.3:8080".
  std::string huge = "1.0.0.1:80\n" + std::string(100, ' ') + "1.0.0.2:81\n";
  huge += std::string(static_cast<std::size_t>(kMostListBytes) - huge.size() - 11, 'x');
  huge += "\n1.0.0.3:8080\n1.0.0.4:80\n";
  ASSERT_EQ(huge.substr(static_cast<std::size_t>(kMostListBytes) - 10, 10), "1.0.0.3:80");
  Serve("/huge.txt", huge);
  dir.Write(u"huge.txt"_s, QByteArray::fromStdString(huge));
  Lists(u"web = {web}/huge.txt\nfile = huge.txt\n"_s);
  Harvest();
  EXPECT_EQ(Column(kAddress), QStringList({u"1.0.0.1:80"_s, u"1.0.0.2:81"_s}));
  EXPECT_TRUE(Said(u"公开列表 web 超过 20 MB,只读取前 20 MB"_s));
  EXPECT_TRUE(Said(u"公开列表 file 超过 20 MB,只读取前 20 MB"_s));
}

TEST_F(ListSourcesTest, Without66ipDataTheListsTheFillInAndTheFinalStatusStillCome) {
  Sources(0, 0, 0, 0, 1);
  state.List().AppendRow({u"2.0.0.9:1"_s});  // no region until the fill-in
  Serve("/a.txt", "1.0.0.1:80\n");
  Lists(u"a = {web}/a.txt\n"_s);
  Harvest();
  EXPECT_EQ(log.history.mid(1),
            QStringList({u"66ip 没有任何数据返回.."_s, u"正在采集公开列表 a..."_s,
                         u"数据验证完成..."_s, u"采集完成..."_s}));
  EXPECT_EQ(Column(kRegion), QStringList({u"二区 乙"_s, u"一区 甲"_s}));
  EXPECT_FALSE(control.Running());
}

TEST_F(ListSourcesTest, AStopBetweenListsEndsTheRunAndKeepsTheListUnderWayOut) {
  server.Set("/slow.txt", {200, "1.0.0.1:80\n", "text/plain", 300});
  Serve("/next.txt", "1.0.0.2:80\n");
  Lists(u"slow = {web}/slow.txt\nnext = {web}/next.txt\n"_s);
  QTimer::singleShot(100, [this] { control.StopHarvest(); });
  Harvest();
  EXPECT_EQ(state.List().RowCount(), 0);
  EXPECT_EQ(server.Requests(), 1);
  EXPECT_EQ(log.history.last(), u"停止采集..."_s);
}

TEST_F(ListSourcesTest, WithoutTheDatabaseRowsComeWithoutAWebLookupEach) {
  QFile::remove(dir.File(u"qqwry.dat"_s));
  Serve("/a.txt", "1.0.0.1:80\n1.0.0.2:80\n");
  Lists(u"a = {web}/a.txt\n"_s);
  int requests_at_append = -1;
  QObject::connect(&state.StatusBar(), &Status::RowsChanged, &state,
                   [&](int) { requests_at_append = server.Requests(); });
  Harvest();
  EXPECT_EQ(requests_at_append, 1);  // only the list itself
  // The fill-in then asks the web, as for every row without a region.
  EXPECT_EQ(Column(kRegion), QStringList({u"Nothing Nothing"_s, u"Nothing Nothing"_s}));
}

}  // namespace
}  // namespace ph
