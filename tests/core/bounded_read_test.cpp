#include "core/bounded_read.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

namespace ph {
namespace {

TEST(ReadAtMost, GivesTheWholeTextUpToTheLimitAndSaysWhenThereWasMore) {
  struct Case {
    qint64 size;
    qint64 limit;
  };
  // Sizes around the limit and around the 64 KiB pieces it reads in.
  for (const Case& c : {Case{0, 10}, Case{9, 10}, Case{10, 10}, Case{11, 10}, Case{65536, 65536},
                        Case{65537, 65536}, Case{200000, 70000}}) {
    QByteArray text(c.size, 'x');
    for (qint64 i = 0; i < c.size; ++i) text[i] = static_cast<char>('a' + i % 26);
    QBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    const BoundedBytes read = ReadAtMost(buffer, c.limit);
    EXPECT_EQ(read.bytes, text.left(c.limit)) << c.size << " " << c.limit;
    EXPECT_EQ(read.cut, c.size > c.limit) << c.size << " " << c.limit;
  }
}

TEST(ReadAtMost, StopsAtTheLimitOfADeviceWithoutEnd) {
  QFile zero(QStringLiteral("/dev/zero"));
  ASSERT_TRUE(zero.open(QIODevice::ReadOnly));
  const BoundedBytes read = ReadAtMost(zero, 300000);
  EXPECT_EQ(read.bytes, QByteArray(300000, '\0'));
  EXPECT_TRUE(read.cut);
}

}  // namespace
}  // namespace ph
