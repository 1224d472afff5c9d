#include "commands/file_commands.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/qqwry_builder.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The program directory holds an IP database that places every address in one area, so
// the regions are filled in as they are from a database: within the command.
class PasteImportTest : public ::testing::Test {
 protected:
  PasteImportTest() : state(window, dir.Dir()) {
    test::QQWryBuilder database;
    database.AddRanges({{test::Ip(0, 0, 0, 0), test::Ip(200, 255, 255, 255), u"地区"_s, u"甲"_s}});
    database.AddFiller(test::Ip(201, 0, 0, 0), 2);
    test::WriteDatabaseFile(dir.File(u"qqwry.dat"_s), database.Bytes());
  }

  void Paste(const QString& text) {
    window.clipboard = text;
    PasteImport(state);
  }
  // The rows from `first` on whose region has been filled in.
  int Located(int first = 1) {
    int located = 0;
    for (int row = first; row <= state.List().RowCount(); ++row)
      located += state.List().CellText(row, kRegion) == u"地区 甲"_s;
    return located;
  }
  QStringList Addresses() {
    QStringList addresses;
    for (int row = 1; row <= state.List().RowCount(); ++row)
      addresses << state.List().CellText(row, kAddress);
    return addresses;
  }

  test::FakeWindow window;
  test::TempProgramDir dir;
  AppState state;
};

TEST_F(PasteImportTest, TableLinesWithATrailingTabKeepTheirFirstColumn) {
  Paste(u"1.2.3.4:80\tHTTP\t\r\n5.6.7.8:8080\t高匿\t北京\t\r\n"_s);
  EXPECT_EQ(Addresses(), QStringList({u"1.2.3.4:80"_s, u"5.6.7.8:8080"_s}));
  EXPECT_EQ(Located(), 2);
  const ProxyList& list = state.List();
  EXPECT_EQ(list.CellText(1, kTestCount), u"0"_s);
  EXPECT_EQ(list.CellText(1, kSuccessCount), u"0"_s);
  EXPECT_EQ(list.CellText(1, kTestResult), u""_s);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"2"_s);
}

TEST_F(PasteImportTest, SocksAddressesAreLocatedByTheirHost) {
  Paste(u"socks5://1.2.3.4:1080\r\nsocks4://5.6.7.8:4145\tSOCKS4\t\r\n"_s);
  EXPECT_EQ(Addresses(), QStringList({u"socks5://1.2.3.4:1080"_s, u"socks4://5.6.7.8:4145"_s}));
  EXPECT_EQ(Located(), 2);
}

TEST_F(PasteImportTest, LinesWithoutATrailingSeparatorStayWhole) {
  Paste(u"1.2.3.4:80\tHTTP\r\n9.9.9.9:1@x#y|z"_s);
  EXPECT_EQ(Addresses(), QStringList({u"1.2.3.4:80 HTTP"_s, u"9.9.9.9:1 x y z"_s}));
}

TEST_F(PasteImportTest, SkipsLinesWithoutColonAndTextsWithoutDots) {
  Paste(u"\r\nno colon here.\r\n 1.1.1.1:1 \r\n2.2.2.2:2\r\n"_s);
  EXPECT_EQ(Addresses(), QStringList({u""_s, u"2.2.2.2:2"_s}).mid(1));
  Paste(u"host:80\r\nother:81"_s);  // a ":" but no "."
  EXPECT_EQ(state.List().RowCount(), 1);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"1"_s);
}

TEST_F(PasteImportTest, ALoneLineFeedOrCarriageReturnEndsALineToo) {
  const struct {
    QString text;
    QStringList addresses;
  } cases[] = {
      {u"1.1.1.1:1\n2.2.2.2:2\n"_s, {u"1.1.1.1:1"_s, u"2.2.2.2:2"_s}},
      {u"1.1.1.1:1\r2.2.2.2:2"_s, {u"1.1.1.1:1"_s, u"2.2.2.2:2"_s}},
      // Mixed ends, and a CR LF is one end, not two.
      {u"1.1.1.1:1\t高匿\t\n2.2.2.2:2\r\n3.3.3.3:3\r4.4.4.4:4"_s,
       {u"1.1.1.1:1"_s, u"2.2.2.2:2"_s, u"3.3.3.3:3"_s, u"4.4.4.4:4"_s}},
  };
  for (const auto& c : cases) {
    const int before = state.List().RowCount();
    Paste(c.text);
    EXPECT_EQ(Addresses().mid(before), c.addresses) << c.text.toStdString();
    EXPECT_EQ(Located(before + 1), c.addresses.size());
  }
}

TEST_F(PasteImportTest, IndexContinuesAndDuplicatesAreAdded) {
  for (int i = 0; i < 5; ++i) state.List().AppendRow({u"7.7.7.7:7"_s});
  Paste(u"7.7.7.7:7\r\n8.8.8.8:8\r\n9.9.9.9:9\r\n"_s);
  ASSERT_EQ(state.List().RowCount(), 8);
  EXPECT_EQ(state.List().CellText(6, kIndex), u"6"_s);
  EXPECT_EQ(state.List().CellText(8, kIndex), u"8"_s);
  EXPECT_EQ(state.List().CellText(6, kAddress), u"7.7.7.7:7"_s);
}

TEST_F(PasteImportTest, AnEmptyClipboardOnlyRefreshesTheCount) {
  Paste(u""_s);
  EXPECT_EQ(state.List().RowCount(), 0);
  EXPECT_EQ(QString::number(state.StatusBar().Rows()), u"0"_s);
}

}  // namespace
}  // namespace ph
