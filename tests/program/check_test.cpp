// check and harvest as scripts run them: the real program against a loopback farm of fake
// HTTP and SOCKS5 proxies, lists in files and pipes, output read by other programs.
#include "support/program_run.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"
#include "support/stored_rows.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <set>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

using Addresses = std::set<QString>;

Addresses Lines(const QByteArray& text) {
  Addresses lines;
  for (const QByteArray& line : text.split('\n'))
    if (!line.isEmpty()) lines.insert(QString::fromUtf8(line));
  return lines;
}

QString Quoted(const QString& text) { return u'\'' + text + u'\''; }

QString Program() { return QStringLiteral(PH_PROGRAM); }

// Another program reads the output: what it says on standard output, or nothing when it fails.
std::optional<QByteArray> Read(const QString& program, const QStringList& arguments,
                               const QByteArray& input) {
  const test::ProgramRun run =
      test::RunProgram(program, arguments, QProcessEnvironment::systemEnvironment(), input);
  if (run.crashed || run.exit_code != 0) return std::nullopt;
  return run.out;
}

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& address : farm.Add({"ok [127.0.0.1]", 0, false, false}, 4))
      working.insert(QString::fromStdString(address));
    for (const std::string& address : farm.Add({"ok [127.0.0.1]", 0, false, true}, 2))
      working.insert(QString::fromStdString(address));
    for (const std::string& address : farm.Add({"no bracket", 0, false, false}, 5))
      failing.insert(QString::fromStdString(address));
    farm.Start();
    // As lists are pasted and published: text around the addresses, a scheme, an address
    // twice, and one that is no address.
    QString text = u"# proxies of today\n"_s;
    for (const QString& address : working) text += u"found "_s + address + u" (fast)\n"_s;
    for (const QString& address : failing) text += u"http://"_s + address + u'\n';
    text += *working.begin() + u"\n999.1.1.1:80\n"_s;
    list = text.toUtf8();
    dir.Write(u"list.txt"_s, list);
  }

  // check with a test page every farm proxy answers, and more arguments (which win).
  QStringList Check(const QStringList& more) const {
    return QStringList{u"check"_s,   u"--test-url"_s, u"http://ip138.test/ic.asp"_s,
                       u"--match"_s, u"["_s,          u"--timeout"_s,
                       u"3000"_s} +
           more;
  }
  QProcessEnvironment Environment() const { return test::NoDisplay(dir.Path()); }

  test::ProxyFarm farm;
  test::TempProgramDir dir;
  Addresses working;
  Addresses failing;
  QByteArray list;
};

struct FormatCase {
  const char* name;
  QString format;
  bool from_pipe;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class CheckFormatTest : public CheckTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(CheckFormatTest, WritesExactlyTheWorkingOnesReadableByOtherPrograms) {
  const FormatCase& c = GetParam();
  const QStringList input =
      c.from_pipe ? QStringList{u"-"_s} : QStringList{dir.File(u"list.txt"_s)};
  const test::ProgramRun run =
      test::RunProgram(Program(), Check(input + QStringList{u"--format"_s, c.format}),
                       Environment(), c.from_pipe ? list : QByteArray(), dir.Path());
  ASSERT_FALSE(run.crashed);
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  Addresses written;
  if (c.format == u"plain"_s) {
    written = Lines(run.out);
  } else if (c.format == u"jsonl"_s) {
    for (const QByteArray& line : run.out.split('\n')) {
      if (line.isEmpty()) continue;
      ASSERT_TRUE(Read(u"python3"_s, {u"-m"_s, u"json.tool"_s}, line)) << line.toStdString();
      const QJsonObject proxy = QJsonDocument::fromJson(line).object();
      written.insert(proxy[u"address"_s].toString());
      EXPECT_EQ(
          proxy[u"protocol"_s].toString(),
          proxy[u"address"_s].toString().startsWith(u"socks5://"_s) ? u"socks5"_s : u"http"_s);
      EXPECT_EQ(proxy[u"status"_s].toInt(), 200);
      EXPECT_TRUE(proxy[u"time_ms"_s].isDouble());
      EXPECT_TRUE(proxy[u"anonymity"_s].isNull());
      EXPECT_TRUE(proxy.contains(u"region"_s));
    }
  } else {
    const std::optional<QByteArray> addresses =
        Read(u"python3"_s,
             {u"-c"_s,
              u"import csv, sys\n"
              u"rows = list(csv.DictReader(sys.stdin))\n"
              u"assert list(rows[0].keys()) == ['address', 'protocol', 'time_ms', 'status', "
              u"'anonymity', 'region'], rows[0]\n"
              u"assert all(r['status'] == '200' and r['time_ms'].isdigit() for r in rows)\n"
              u"print('\\n'.join(r['address'] for r in rows))\n"_s},
             run.out);
    ASSERT_TRUE(addresses) << run.out.toStdString();
    written = Lines(*addresses);
  }
  EXPECT_EQ(written, working) << run.out.toStdString();
  // Not a terminal: progress lines, and the closing one.
  const QString err = QString::fromUtf8(run.err);
  EXPECT_TRUE(err.contains(u"已验证 0/11"_s)) << err.toStdString();
  EXPECT_TRUE(err.contains(u"验证完成: 共 11 个, 可用 6 个"_s)) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, CheckFormatTest,
                         ::testing::Values(FormatCase{"PlainFromAFile", u"plain"_s, false},
                                           FormatCase{"PlainFromAPipe", u"plain"_s, true},
                                           FormatCase{"CsvFromAFile", u"csv"_s, false},
                                           FormatCase{"CsvFromAPipe", u"csv"_s, true},
                                           FormatCase{"JsonlFromAFile", u"jsonl"_s, false},
                                           FormatCase{"JsonlFromAPipe", u"jsonl"_s, true}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(CheckTest, OnATerminalItsProgressIsABarRedrawnInPlace) {
  // script gives the program a pseudo-terminal; standard output goes to a file.
  QStringList command{Quoted(Program())};
  for (const QString& argument : Check({dir.File(u"list.txt"_s)})) command << Quoted(argument);
  const QString line = command.join(u' ') + u" > "_s + Quoted(dir.File(u"good.txt"_s));
  const test::ProgramRun run =
      test::RunProgram(u"script"_s, {u"-q"_s, u"-e"_s, u"-c"_s, line, u"/dev/null"_s},
                       Environment(), {}, dir.Path());
  ASSERT_EQ(run.exit_code, 0) << run.out.toStdString();
  const QString shown = QString::fromUtf8(run.out);
  EXPECT_TRUE(shown.contains(u"\r\x1b[K["_s)) << shown.toStdString();
  EXPECT_TRUE(shown.contains(u"] 已验证 "_s)) << shown.toStdString();
  EXPECT_TRUE(shown.contains(u" 个/秒  剩余 "_s)) << shown.toStdString();
  EXPECT_TRUE(shown.contains(u"验证完成: 共 11 个, 可用 6 个"_s)) << shown.toStdString();
  EXPECT_EQ(Lines(dir.Read(u"good.txt"_s)), working);
}

TEST_F(CheckTest, QuietWritesNoProgress) {
  const test::ProgramRun run = test::RunProgram(
      Program(), Check({dir.File(u"list.txt"_s), u"--quiet"_s}), Environment(), {}, dir.Path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Lines(run.out), working);
  EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

TEST_F(CheckTest, CtrlCEndsWith130AfterWritingWhatHadPassed) {
  // Proxies that never answer keep the run going; the working ones have answered long before
  // the signal, perhaps before the run applied their results.
  test::ProxyFarm silent;
  QString text = QString::fromUtf8(list);
  for (const std::string& address : silent.Add({"", 0, true, false}, 50))
    text += QString::fromStdString(address) + u'\n';
  silent.Start();
  dir.Write(u"slow.txt"_s, text.toUtf8());
  test::RunningProgram check(Program(), Check({dir.File(u"slow.txt"_s), u"--timeout"_s, u"9000"_s}),
                             Environment(), dir.Path());
  ASSERT_TRUE(test::WaitFor([&] { return check.Err().contains("已验证 0/61"); }, 10000));
  test::WaitFor([] { return false; }, 300);
  const test::ProgramRun run = check.Stop(SIGINT, 5000);
  ASSERT_FALSE(run.crashed);
  EXPECT_EQ(run.exit_code, 130) << run.err.toStdString();
  EXPECT_EQ(Lines(run.out), working);
  EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"已中断: 共 61 个, 可用 6 个"_s))
      << run.err.toStdString();
}

TEST_F(CheckTest, AnInputWithoutAddressesEndsAtOnceWithNothingWritten) {
  const test::ProgramRun run = test::RunProgram(Program(), Check({u"-"_s, u"--format"_s, u"csv"_s}),
                                                Environment(), "no proxies today\n", dir.Path());
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "address,protocol,time_ms,status,anonymity,region\n");
}

struct RefusalCase {
  const char* name;
  QStringList arguments;  // after "check", before the usual ones
  QString reason;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class CheckRefusalTest : public CheckTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CheckRefusalTest, BadInputEndsWithTwoBeforeAnythingIsChecked) {
  const RefusalCase& c = GetParam();
  dir.Write(u"bad.ini"_s, "Text3=0\n");
  const QByteArray garbage(4096, '\x7f');
  dir.Write(u"garbage.db"_s, garbage);
  QStringList arguments;
  for (const QString& argument : c.arguments)
    arguments << QString(argument).replace(u"DIR"_s, dir.Path());
  const test::ProgramRun run =
      test::RunProgram(Program(), Check(arguments), Environment(), list, dir.Path());
  EXPECT_FALSE(run.crashed);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_TRUE(run.out.isEmpty());
  EXPECT_TRUE(QString::fromUtf8(run.err).contains(c.reason)) << run.err.toStdString();
  EXPECT_EQ(dir.Read(u"garbage.db"_s), garbage);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, CheckRefusalTest,
    ::testing::Values(
        RefusalCase{"MissingFile", {u"DIR/none.txt"_s}, u"无法读取输入文件"_s},
        RefusalCase{"Directory", {u"DIR"_s}, u"输入是目录"_s},
        RefusalCase{"TimeoutNoNumber", {u"--timeout"_s, u"abc"_s}, u"--timeout abc: 不是数字"_s},
        RefusalCase{"ConcurrencyTooLow",
                    {u"--concurrency"_s, u"5"_s},
                    u"--concurrency 5: 应在 100 到 20000 之间"_s},
        RefusalCase{"TestUrlScheme",
                    {u"--test-url"_s, u"ftp://x/"_s},
                    u"--test-url 应以 http:// 或 https:// 开头"_s},
        RefusalCase{
            "BadSettingsFile", {u"--config"_s, u"DIR/bad.ini"_s}, u"Text3: 应在 1 到 100 之间"_s},
        RefusalCase{"GarbageDatabase", {u"--db"_s, u"DIR/garbage.db"_s}, u"数据库无法使用"_s}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(CheckTest, MatchWithoutATestUrlIsRefused) {
  const test::ProgramRun run = test::RunProgram(
      Program(), {u"check"_s, u"-"_s, u"--match"_s, u"x"_s}, Environment(), list, dir.Path());
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"--match 只能与 --test-url 同用"_s));
}

TEST_F(CheckTest, WithADatabaseTheStatisticsOfEveryAddressAddUp) {
  const QString db = dir.File(u"kept.db"_s);
  for (int round = 1; round <= 2; ++round) {
    const test::ProgramRun run =
        test::RunProgram(Program(), Check({dir.File(u"list.txt"_s), u"--db"_s, db, u"--quiet"_s}),
                         Environment(), {}, dir.Path());
    ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
    EXPECT_EQ(Lines(run.out), working);
  }
  const QStringList rows = test::DatabaseRows(db);
  ASSERT_EQ(rows.size(), 11);
  for (const QString& row : rows) {
    const QStringList cells = row.split(u'|');
    EXPECT_EQ(cells[10], u"2"_s) << row.toStdString();  // tested in both rounds, one row each
    // No success yet leaves the count empty.
    EXPECT_EQ(cells[11], working.contains(cells[1]) ? u"2"_s : QString()) << row.toStdString();
  }
}

TEST_F(CheckTest, WithoutADatabaseNothingIsStored) {
  const test::ProgramRun run = test::RunProgram(
      Program(), Check({dir.File(u"list.txt"_s), u"--quiet"_s}), Environment(), {}, dir.Path());
  EXPECT_EQ(run.exit_code, 0);
  QStringList stored;
  QDirIterator files(dir.Path(), QDir::Files, QDirIterator::Subdirectories);
  while (files.hasNext()) stored << files.next();
  EXPECT_EQ(stored, QStringList{dir.File(u"list.txt"_s)});
}

class HarvestTest : public CheckTest {
 protected:
  // The public lists of a harvest: a plain list of HTTP proxies and a page of SOCKS5 ones.
  void WriteSources() {
    QString http;
    QString socks = u"<table>"_s;
    for (const QString& address : working) {
      if (address.startsWith(u"socks5://"_s)) {
        socks += u"<tr><td>"_s + address.mid(9) + u"</td></tr>"_s;
      } else {
        http += address + u'\n';
      }
    }
    for (const QString& address : failing) http += address + u'\n';
    dir.Write(u"http.txt"_s, http.toUtf8());
    dir.Write(u"socks.html"_s, (socks + u"</table>"_s).toUtf8());
    dir.Write(u"sources.ini"_s, "mine = http.txt\nsocks = socks5 socks.html\n");
  }
  Addresses Harvested() const {
    Addresses all = working;
    all.insert(failing.begin(), failing.end());
    return all;
  }
};

TEST_F(HarvestTest, WritesTheAddressesOfItsListsOnePerLine) {
  WriteSources();
  const test::ProgramRun run =
      test::RunProgram(Program(), {u"harvest"_s, u"--sources"_s, dir.File(u"sources.ini"_s)},
                       Environment(), {}, dir.Path());
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(Lines(run.out), Harvested());
  EXPECT_EQ(run.out.count('\n'), 11);
  const QString err = QString::fromUtf8(run.err);
  EXPECT_TRUE(err.contains(u"正在采集公开列表 mine..."_s)) << err.toStdString();
  EXPECT_TRUE(err.contains(u"采集完成: 采集到 11 个地址"_s)) << err.toStdString();
}

TEST_F(HarvestTest, FeedsCheckThroughAPipe) {
  WriteSources();
  QStringList check{Quoted(Program())};
  for (const QString& argument : Check({u"-"_s, u"--quiet"_s})) check << Quoted(argument);
  const QString pipeline = Quoted(Program()) + u" harvest --quiet --sources "_s +
                           Quoted(dir.File(u"sources.ini"_s)) + u" | "_s + check.join(u' ') +
                           u" > "_s + Quoted(dir.File(u"good.txt"_s));
  const test::ProgramRun run = test::RunProgram(
      u"bash"_s, {u"-o"_s, u"pipefail"_s, u"-c"_s, pipeline}, Environment(), {}, dir.Path());
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
  EXPECT_EQ(Lines(dir.Read(u"good.txt"_s)), working);
}

TEST_F(HarvestTest, AMissingSourcesFileEndsWithTwo) {
  const test::ProgramRun run =
      test::RunProgram(Program(), {u"harvest"_s, u"--sources"_s, dir.File(u"none.ini"_s)},
                       Environment(), {}, dir.Path());
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"找不到来源文件"_s));
}

}  // namespace
}  // namespace ph
