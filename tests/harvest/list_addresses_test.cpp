#include "harvest/list_addresses.h"

#include "core/gbk.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <string>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QStringList Cells(const std::vector<ListAddress>& addresses) {
  QStringList cells;
  for (const ListAddress& address : addresses) cells << address.Cell();
  return cells;
}

QStringList Extract(QByteArrayView text, ListProtocol bare = ListProtocol::Http) {
  return Cells(ExtractListAddresses(text, bare, 1000).addresses);
}

struct ExtractCase {
  const char* name;
  std::string text;
  ListProtocol bare;
  QStringList cells;
};

void PrintTo(const ExtractCase& c, std::ostream* out) { *out << c.name; }

class ListExtractTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ListExtractTest, FindsEveryAddressAndOnlyAddresses) {
  const ExtractCase& c = GetParam();
  EXPECT_EQ(Extract(c.text, c.bare), c.cells);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ListExtractTest,
    ::testing::Values(
        ExtractCase{"BareLinesTakeTheListsProtocol",
                    "1.2.3.4:80\n5.6.7.8:1080\n",
                    ListProtocol::Socks5,
                    {u"socks5://1.2.3.4:80"_s, u"socks5://5.6.7.8:1080"_s}},
        ExtractCase{"CrLfAndNoLastLineEnd",
                    "1.2.3.4:80\r\n5.6.7.8:8080",
                    ListProtocol::Http,
                    {u"1.2.3.4:80"_s, u"5.6.7.8:8080"_s}},
        ExtractCase{
            "SchemesWinOverTheListsProtocol",
            "http://1.1.1.1:80\nhttps://2.2.2.2:443\nsocks4://3.3.3.3:4145\n"
            "SOCKS4A://4.4.4.4:1\nsocks5://5.5.5.5:1080\nsocks5h://6.6.6.6:9050\n",
            ListProtocol::Socks5,
            {u"1.1.1.1:80"_s, u"2.2.2.2:443"_s, u"socks4://3.3.3.3:4145"_s, u"socks4://4.4.4.4:1"_s,
             u"socks5://5.5.5.5:1080"_s, u"socks5://6.6.6.6:9050"_s}},
        ExtractCase{"HtmlAndJson",
                    "<tr><td>7.7.7.7:3128</td></tr><tr><td>8.8.8.8</td><td>80</td></tr>"
                    R"([{"proxy":"socks5://9.9.9.9:1080"},{"proxy":"socks4:\/\/10.0.0.1:4145"},)"
                    R"({"ip":"11.0.0.1","port":80},{"p":"http:\/\/12.0.0.1:8080"}])",
                    ListProtocol::Http,
                    {u"7.7.7.7:3128"_s, u"socks5://9.9.9.9:1080"_s, u"socks4://10.0.0.1:4145"_s,
                     u"12.0.0.1:8080"_s}},
        ExtractCase{"NoLeadingZeroTricksAndNothingOutOfRange",
                    "01.2.3.4:80 1.2.3.04:80 256.1.1.1:80 1.2.3.4:0 1.2.3.4:65536 1.2.3.4:080 "
                    "1.2.3.4:123456 1.2.3.4.5:80 1.2.3:80 0.0.0.0:1 255.255.255.255:65535",
                    ListProtocol::Http,
                    {u"0.0.0.0:1"_s, u"255.255.255.255:65535"_s}},
        ExtractCase{"NotInsideWordsNorWithAPasswordNorAnotherScheme",
                    "v1.2.3.4:80 x11.2.3.4:80 user:pw@1.2.3.5:80 ftp://1.2.3.6:21 "
                    "xsocks5://1.2.3.7:1080 ://1.2.3.8:80 (1.2.3.9:80) ip=1.2.3.10:80,",
                    ListProtocol::Http,
                    {u"1.2.3.9:80"_s, u"1.2.3.10:80"_s}},
        ExtractCase{"GbkTextAround",
                    ToGbk(u"高匿 1.2.3.4:80 北京\r\n透明 5.6.7.8:3128 上海"_s).toStdString(),
                    ListProtocol::Http,
                    {u"1.2.3.4:80"_s, u"5.6.7.8:3128"_s}},
        ExtractCase{"Garbage",
                    std::string("\x00\xff\x81:1.\x7f:9...::/", 16) + "1.2.3.",
                    ListProtocol::Http,
                    {}},
        ExtractCase{"Empty", "", ListProtocol::Http, {}}),
    [](const ::testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

TEST(ListExtract, TakesAtMostTheMostAndSaysWhenMoreFollowed) {
  const QByteArrayView three = "1.1.1.1:1\n2.2.2.2:2\nno more\n3.3.3.3:3\n";
  const ListExtract two = ExtractListAddresses(three, ListProtocol::Http, 2);
  EXPECT_EQ(Cells(two.addresses), QStringList({u"1.1.1.1:1"_s, u"2.2.2.2:2"_s}));
  EXPECT_TRUE(two.cut);
  const ListExtract all = ExtractListAddresses(three, ListProtocol::Http, 3);
  EXPECT_EQ(all.addresses.size(), 3u);
  EXPECT_FALSE(all.cut);
}

TEST(ListExtract, ACutTextLosesItsPartialLastAddress) {
  EXPECT_EQ(WithoutLastWord("1.1.1.1:80\n2.2.2.2:80"), QByteArrayView("1.1.1.1:80\n"));
  EXPECT_EQ(WithoutLastWord(R"(["socks5:\/\/1.1.1.1:80","socks5:\/\/2.2.)"),
            QByteArrayView(R"(["socks5:\/\/1.1.1.1:80",")"));
  EXPECT_EQ(WithoutLastWord("1.1.1.1:80"), QByteArrayView(""));
}

TEST(ListExtract, ASeenAddressIsDroppedButTheSameHostOverAnotherProtocolIsNot) {
  SeenAddresses seen;
  std::vector<ListAddress> first =
      ExtractListAddresses("1.1.1.1:80 1.1.1.1:80 1.1.1.1:81", ListProtocol::Http, 10).addresses;
  DropSeen(first, seen);
  EXPECT_EQ(Cells(first), QStringList({u"1.1.1.1:80"_s, u"1.1.1.1:81"_s}));
  std::vector<ListAddress> second =
      ExtractListAddresses("1.1.1.1:81 socks5://1.1.1.1:80", ListProtocol::Http, 10).addresses;
  DropSeen(second, seen);
  EXPECT_EQ(Cells(second), QStringList({u"socks5://1.1.1.1:80"_s}));
}

}  // namespace
}  // namespace ph
