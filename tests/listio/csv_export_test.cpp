#include "listio/csv_export.h"

#include "commands/file_commands.h"
#include "core/app_state.h"
#include "core/gbk.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QDir>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QString kHeader =
    u"Index,IP及端口,地区,代理类型,测试结果,协议状态,Http,Https,耗时(ms),验证时间,验证次数,成功次数,成功率,初次验证时间,\r\n"_s;

QStringList CsvFiles(const QString& path) {
  return QDir(path).entryList({u"*.csv"_s}, QDir::Files);
}

TEST(WriteListCsv, OneRowGivesHeaderRowAndAnEmptyLine) {
  test::TempProgramDir dir;
  ProxyList list;
  list.AppendRow({u"1.2.3.4:80"_s, u"北京"_s, u"高匿"_s, u"成 功"_s, u"200"_s, u"True"_s,
                  u"False"_s, u"321"_s, u"12-07 04:22:19"_s, u"1"_s, u"1"_s, u"100%"_s,
                  u"2026/12/7 4:22:19"_s});
  ASSERT_EQ(WriteListCsv(list, dir.File(u"a.csv"_s)), 0);
  const QString row =
      u"1,=\"1.2.3.4:80\",=\"北京\",=\"高匿\",=\"成 功\",=\"200\",=\"True\",=\"False\",=\"321\","
      u"=\"12-07 04:22:19\",=\"1\",=\"1\",=\"100%\",=\"2026/12/7 4:22:19\",\r\n"_s;
  EXPECT_EQ(dir.Read(u"a.csv"_s), ToGbk(kHeader + row + u"\r\n"_s));
}

TEST(WriteListCsv, OnlyAnIndexGivesThirteenEmptyCells) {
  test::TempProgramDir dir;
  ProxyList list;
  for (int i = 0; i < 7; ++i) list.AppendRow();
  for (int i = 0; i < 6; ++i) test::RemoveRow(list, 1);
  ASSERT_EQ(list.CellText(1, kIndex), u"7"_s);
  ASSERT_EQ(WriteListCsv(list, dir.File(u"b.csv"_s)), 0);
  QString row = u"7,"_s;
  for (int i = 0; i < 13; ++i) row += u"=\"\","_s;
  EXPECT_EQ(dir.Read(u"b.csv"_s), ToGbk(kHeader + row + u"\r\n\r\n"_s));
}

TEST(WriteListCsv, AQuoteInACellIsDoubledAndCannotEndTheQuoting) {
  test::TempProgramDir dir;
  ProxyList list;
  list.AppendRow({u"1.2.3.4:80\",=HYPERLINK(\"x\")"_s, u"\""_s});
  ASSERT_EQ(WriteListCsv(list, dir.File(u"q.csv"_s)), 0);
  QString row = u"1,=\"1.2.3.4:80\"\",=HYPERLINK(\"\"x\"\")\",=\"\"\"\","_s;
  for (int i = 0; i < 11; ++i) row += u"=\"\","_s;
  EXPECT_EQ(dir.Read(u"q.csv"_s), ToGbk(kHeader + row + u"\r\n\r\n"_s));
}

TEST(WriteListCsv, AnEmptyListIsAFailureWithoutAFile) {
  test::TempProgramDir dir;
  ProxyList list;
  EXPECT_NE(WriteListCsv(list, dir.File(u"c.csv"_s)), 0);
  EXPECT_TRUE(CsvFiles(dir.Path()).isEmpty());
}

TEST(CsvFileName, IsMonthDayAndTime) {
  EXPECT_EQ(CsvFileName(QDateTime(QDate(2026, 12, 6), QTime(5, 49, 30))), u"12-06 054930.csv"_s);
  EXPECT_EQ(CsvFileName(QDateTime(QDate(2026, 3, 9), QTime(23, 1, 2))), u"03-09 230102.csv"_s);
}

TEST(ExportCsv, ReportsFailureAndALaterExportOfEitherKindWorks) {
  test::FakeWindow window;
  test::TempProgramDir parent;
  const QString missing = parent.File(u"not-yet"_s);
  AppState state(window, ProgramDir(missing));
  test::StatusLog log(state.StatusBar());
  ExportCsv(state);  // empty list: nothing at all
  EXPECT_TRUE(log.history.isEmpty());

  state.List().AppendRow({u"1.2.3.4:80"_s});
  ExportCsv(state);
  EXPECT_TRUE(state.StatusBar().Text().startsWith(u"Csv数据保存失败,ErrNum="_s));
  EXPECT_EQ(state.List().RowCount(), 1);

  ASSERT_TRUE(QDir().mkpath(missing));
  ExportCsv(state);
  EXPECT_EQ(state.StatusBar().Text(), u"Csv数据保存成功 !"_s);
  EXPECT_EQ(CsvFiles(missing).size(), 1);
  ExportProxyFile(state);
  EXPECT_EQ(state.StatusBar().Text(), u"文本数据保存完成..."_s);
}

}  // namespace
}  // namespace ph
