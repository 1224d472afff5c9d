#include "console/passed_writer.h"

#include "core/literals.h"
#include "support/ip_services.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QFile>
#include <QTemporaryFile>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct LineCase {
  const char* name;
  OutputFormat format;
  PassedProxy proxy;
  QString line;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class OutputLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(OutputLineTest, IsOneLineOfItsFormat) {
  EXPECT_EQ(OutputLine(GetParam().format, GetParam().proxy), GetParam().line);
}

const PassedProxy kHttp{u"1.2.3.4:8080"_s, u"http"_s, 321, u"200"_s, u"高匿"_s, u"广东省 电信"_s};
const PassedProxy kBare{u"socks5://5.6.7.8:1080"_s, u"socks5"_s, 7, u""_s, u""_s, u""_s};
// Texts with the characters each format must escape.
const PassedProxy kOdd{u"9.9.9.9:1"_s, u"http"_s, 0, u"x\"y"_s, u""_s, u"a,b\"c\nd\\e"_s};

INSTANTIATE_TEST_SUITE_P(
    Formats, OutputLineTest,
    ::testing::Values(
        LineCase{"PlainIsTheAddress", OutputFormat::kPlain, kBare, u"socks5://5.6.7.8:1080\n"_s},
        LineCase{"Csv", OutputFormat::kCsv, kHttp,
                 u"1.2.3.4:8080,http,321,200,高匿,广东省 电信\n"_s},
        LineCase{"CsvEmptyFields", OutputFormat::kCsv, kBare,
                 u"socks5://5.6.7.8:1080,socks5,7,,,\n"_s},
        LineCase{"CsvQuotes", OutputFormat::kCsv, kOdd,
                 u"9.9.9.9:1,http,0,\"x\"\"y\",,\"a,b\"\"c\nd\\e\"\n"_s},
        LineCase{"Jsonl", OutputFormat::kJsonl, kHttp,
                 u"{\"address\":\"1.2.3.4:8080\",\"protocol\":\"http\",\"time_ms\":321,"
                 u"\"status\":200,\"anonymity\":\"高匿\",\"region\":\"广东省 电信\"}\n"_s},
        LineCase{"JsonlUnknownIsNull", OutputFormat::kJsonl, kBare,
                 u"{\"address\":\"socks5://5.6.7.8:1080\",\"protocol\":\"socks5\",\"time_ms\":7,"
                 u"\"status\":null,\"anonymity\":null,\"region\":null}\n"_s},
        LineCase{
            "JsonlEscapes", OutputFormat::kJsonl, kOdd,
            u"{\"address\":\"9.9.9.9:1\",\"protocol\":\"http\",\"time_ms\":0,"
            u"\"status\":\"x\\\"y\",\"anonymity\":null,\"region\":\"a,b\\\"c\\u000ad\\\\e\"}\n"_s}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(OutputHeadTest, OnlyCsvHasAHeader) {
  EXPECT_EQ(OutputHead(OutputFormat::kCsv),
            u"address,protocol,time_ms,status,anonymity,region\n"_s);
  EXPECT_EQ(OutputHead(OutputFormat::kPlain), QString());
  EXPECT_EQ(OutputHead(OutputFormat::kJsonl), QString());
}

// What the writer wrote to its file.
QByteArray Written(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  QByteArray bytes;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
    bytes.append(buffer, static_cast<qsizetype>(n));
  return bytes;
}

TEST(PassedWriterTest, WritesEachRowOnceWhenItTurnsToSuccessWithItsRegion) {
  test::TempProgramDir dir;
  test::WriteDatabaseFile(dir.File(u"qqwry.dat"_s), test::Database().Bytes());
  ProxyList list;
  for (const QString& address : {u"1.0.0.7:80"_s, u"socks5://1.0.0.8:1080"_s, u"9.0.0.9:80"_s}) {
    NewRow row;
    row[kAddress - 1] = address;
    list.AppendRow(row);
  }
  std::FILE* out = std::tmpfile();
  PassedWriter writer(list, OutputFormat::kCsv, dir.Dir(), out);
  const auto result = [&](int row, const QString& text, const QString& ms) {
    ProxyEntry& entry = list.EntryForWrite(row);
    entry.SetCell(kTestResult, text);
    entry.SetCell(kElapsedMs, ms);
    entry.SetCell(kProtocolStatus, u"200"_s);
  };
  result(1, kSuccessText, u"12"_s);
  result(3, kFailureText, u"0"_s);
  list.NotifyRowsChanged(1, 3);
  result(2, kSuccessText, u"30"_s);
  list.NotifyRowsChanged(1, 3);  // the first again: not written twice
  EXPECT_EQ(writer.Written(), 2);
  EXPECT_EQ(QString::fromUtf8(Written(out)),
            u"address,protocol,time_ms,status,anonymity,region\n"
            u"1.0.0.7:80,http,12,200,,北京市 联通\n"
            u"socks5://1.0.0.8:1080,socks5,30,200,,北京市 联通\n"_s);
  std::fclose(out);
}

}  // namespace
}  // namespace ph
