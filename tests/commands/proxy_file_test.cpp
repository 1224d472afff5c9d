#include "commands/file_commands.h"

#include "core/app_state.h"
#include "core/gbk.h"
#include "core/proxy_list.h"
#include "listio/proxy_file.h"
#include "support/fake_window.h"
#include "support/list_rows.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QDir>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class ProxyFileTest : public ::testing::Test {
 protected:
  ProxyFileTest() : state(window, dir.Dir()) {}

  ProxyList& list() { return state.List(); }
  void AddFullRow(const QString& address, const QString& region) {
    const int row = list().AppendRow({address, region, u"高匿"_s, u"成 功"_s, u"200"_s, u"True"_s,
                                      u"False"_s, u"321"_s, u"12-07 04:22:19"_s, u"4"_s, u"3"_s,
                                      u"75%"_s, u"2026/12/7 4:22:19"_s});
    ASSERT_GT(row, 0);
  }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
  test::StatusLog log{state.StatusBar()};
};

TEST_F(ProxyFileTest, ExportWritesTenGbkFieldsPerRowWithCrLf) {
  AddFullRow(u"1.2.3.4:80"_s, u"北京 电信"_s);
  AddFullRow(u"5.6.7.8:3128"_s, u""_s);
  ExportProxyFile(state);
  EXPECT_EQ(state.StatusBar().Text(), u"文本数据保存完成..."_s);
  EXPECT_TRUE(window.messages.empty());
  const QByteArray expected = ToGbk(
      u"1.2.3.4:80|北京 电信|高匿|成 功|200|True|False|321|12-07 04:22:19|4\r\n"
      u"5.6.7.8:3128||高匿|成 功|200|True|False|321|12-07 04:22:19|4\r\n"_s);
  EXPECT_EQ(dir.Read(kProxyFileName), expected);
}

TEST_F(ProxyFileTest, ExportAsksBeforeReplacing) {
  dir.Write(kProxyFileName, "old");
  ExportProxyFile(state);  // empty list: nothing, no question
  EXPECT_TRUE(window.messages.empty());
  AddFullRow(u"1.2.3.4:80"_s, u"x"_s);
  window.answers = {MessageAnswer::No};
  ExportProxyFile(state);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, u"程序目录下已经存在数据文件,是否替换?"_s);
  EXPECT_EQ(window.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(dir.Read(kProxyFileName), QByteArray("old"));
  EXPECT_TRUE(log.history.isEmpty());
  window.answers = {MessageAnswer::Yes};
  ExportProxyFile(state);
  EXPECT_TRUE(dir.Read(kProxyFileName).startsWith("1.2.3.4:80|x|"));
}

TEST_F(ProxyFileTest, AFailedExportKeepsTheListAndALaterOneWorks) {
  AddFullRow(u"1.2.3.4:80"_s, u"x"_s);
  // A directory in the file's place cannot be replaced by a file.
  ASSERT_TRUE(QDir(dir.Path()).mkdir(kProxyFileName));
  window.answers = {MessageAnswer::Yes};
  ExportProxyFile(state);
  EXPECT_TRUE(state.StatusBar().Text().startsWith(u"文本数据保存失败,ErrNum="_s));
  EXPECT_GT(state.StatusBar().Text().section(u'=', 1).toInt(), 0);
  EXPECT_EQ(list().RowCount(), 1);
  ASSERT_TRUE(QDir(dir.Path()).rmdir(kProxyFileName));
  ExportProxyFile(state);
  EXPECT_EQ(state.StatusBar().Text(), u"文本数据保存完成..."_s);
}

TEST_F(ProxyFileTest, ExportThenImportListsEveryAddressTwice) {
  AddFullRow(u"1.2.3.4:80"_s, u"北京 电信"_s);
  AddFullRow(u"5.6.7.8:3128"_s, u""_s);
  test::RemoveRow(list(), 1);
  AddFullRow(u"9.9.9.9:9"_s, u"x|y"_s);  // a "|" in a field is written as it is
  ExportProxyFile(state);
  ImportProxyFile(state);
  ASSERT_EQ(list().RowCount(), 4);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"4"_s);
  for (int cell = kAddress; cell <= kTestedAt; ++cell)
    EXPECT_EQ(list().CellText(3, cell), list().CellText(1, cell)) << cell;
  EXPECT_EQ(list().CellText(3, kRegion), u""_s);
  EXPECT_EQ(list().CellText(3, kIndex), u"3"_s);
  EXPECT_EQ(list().CellText(4, kIndex), u"4"_s);
  EXPECT_EQ(list().CellText(3, kTestCount), u"0"_s);
  EXPECT_EQ(list().CellText(3, kSuccessCount), u"0"_s);
  EXPECT_EQ(list().CellText(3, kSuccessRatio), u""_s);
  EXPECT_EQ(list().CellText(3, kFirstTestedAt), u""_s);
  EXPECT_EQ(list().CellText(4, kRegion), u"x"_s);  // the split moves the later fields
  EXPECT_EQ(list().CellText(4, kProxyType), u"y"_s);
}

TEST_F(ProxyFileTest, ImportReadsLinesEndedByCrOrCrLfAndShortLines) {
  dir.Write(kProxyFileName, ToGbk(u"1.1.1.1:1|北京\r2.2.2.2:2|a|b\r\n\r\nno bar\r\n"
                                  u"3.3.3.3:3|c\n4.4.4.4:4|d"_s));
  ImportProxyFile(state);
  ASSERT_EQ(list().RowCount(), 3);
  EXPECT_EQ(list().CellText(1, kRegion), u"北京"_s);
  EXPECT_EQ(list().CellText(1, kProxyType), u""_s);
  EXPECT_EQ(list().CellText(2, kProxyType), u"b"_s);
  EXPECT_EQ(list().CellText(3, kAddress), u"3.3.3.3:3"_s);
  EXPECT_EQ(list().CellText(3, kRegion), u"c\n4.4.4.4:4"_s);  // a lone LF ends no line
  EXPECT_EQ(list().CellText(3, kProxyType), u"d"_s);
}

TEST_F(ProxyFileTest, ImportWithoutFileOrWithoutDataChangesNothing) {
  ImportProxyFile(state);
  EXPECT_EQ(state.StatusBar().Text(), u"文件不存在,代理数据读取失败!"_s);
  log.history.clear();
  dir.Write(kProxyFileName, "a|b\r\nc|d\r\n");  // no ":"
  ImportProxyFile(state);
  dir.Write(kProxyFileName, "1.1.1.1:80\r\n");  // no "|"
  ImportProxyFile(state);
  EXPECT_EQ(list().RowCount(), 0);
  EXPECT_TRUE(log.history.isEmpty());
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"0"_s);
}

TEST(ReadTextFile, EndsLinesAtCrOrCrLf) {
  test::TempProgramDir dir;
  dir.Write(u"t.txt"_s, "a\rb\r\nc\nd");
  EXPECT_EQ(ReadTextFile(dir.File(u"t.txt"_s)), u"a\r\nb\r\nc\nd\r\n"_s);
  dir.Write(u"e.txt"_s, "");
  EXPECT_EQ(ReadTextFile(dir.File(u"e.txt"_s)), u""_s);
  EXPECT_EQ(ReadTextFile(dir.File(u"missing.txt"_s)), u""_s);
}

TEST(ReadTextFile, ALongerFileGivesTheWholeLinesOfItsFirstBytes) {
  test::TempProgramDir dir;
  dir.Write(u"t.txt"_s, "a|1\rb|2\r\nc|3");
  const QString t = dir.File(u"t.txt"_s);
  EXPECT_EQ(ReadTextFile(t, 6), u"a|1\r\n"_s);
  EXPECT_EQ(ReadTextFile(t, 9), u"a|1\r\nb|2\r\n"_s);  // cut between CR and LF
  EXPECT_EQ(ReadTextFile(t, 11), u"a|1\r\nb|2\r\n"_s);
  EXPECT_EQ(ReadTextFile(t, 12), u"a|1\r\nb|2\r\nc|3\r\n"_s);
  // A file without end and without a line end gives nothing, and soon.
  EXPECT_EQ(ReadTextFile(u"/dev/zero"_s, 100000), u""_s);
}

}  // namespace
}  // namespace ph
