#include "core/address_text.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(AddressHost, TakesTheHostWithOrWithoutAScheme) {
  const struct {
    QString address;
    QString host;
  } cases[] = {
      {u"1.2.3.4:80"_s, u"1.2.3.4"_s},
      {u"socks5://1.2.3.4:1080"_s, u"1.2.3.4"_s},
      {u"socks4://5.6.7.8"_s, u"5.6.7.8"_s},
      {u"2.0.0.5:3128:extra"_s, u"2.0.0.5"_s},
      {u"://9.9.9.9:1"_s, u"9.9.9.9"_s},
      {u"just text"_s, u"just text"_s},
      {u""_s, u""_s},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AddressHost(c.address).toString(), c.host) << c.address.toStdString();
}

TEST(SplitScheme, TellsAnEmptySchemeFromNone) {
  EXPECT_FALSE(SplitScheme(u"1.2.3.4:80").has_scheme);
  const SchemeSplit empty = SplitScheme(u"://1.2.3.4:80");
  EXPECT_TRUE(empty.has_scheme);
  EXPECT_TRUE(empty.scheme.isEmpty());
  EXPECT_EQ(SplitScheme(u"socks4://x").scheme, u"socks4");
}

}  // namespace
}  // namespace ph
