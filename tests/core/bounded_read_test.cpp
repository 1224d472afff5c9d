#include "core/bounded_read.h"

#include "support/sandbox.h"

#include <QBuffer>
#include <QDir>
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

TEST(ReadRegularFile, ReadsARegularFileAndRefusesAnythingElse) {
  using namespace Qt::StringLiterals;
  test::TempProgramDir dir;
  dir.Write(u"plain.txt"_s, "a\nb\nc");
  ASSERT_TRUE(QFile::link(dir.File(u"plain.txt"_s), dir.File(u"link.txt"_s)));
  ASSERT_TRUE(QFile::link(u"/dev/zero"_s, dir.File(u"zero"_s)));
  ASSERT_TRUE(QDir().mkpath(dir.File(u"folder"_s)));
  const test::Fifo fifo(dir.File(u"fifo"_s));
  ASSERT_TRUE(fifo.Made());
  const struct {
    QString name;
    std::optional<char> line_end;
    QByteArray bytes;
    bool cut;
    QString problem;
  } cases[] = {
      {u"plain.txt"_s, std::nullopt, "a\nb", true, {}},
      {u"plain.txt"_s, '\n', "a\n", true, {}},
      {u"link.txt"_s, std::nullopt, "a\nb", true, {}},
      {u"zero"_s, std::nullopt, {}, false, u"不是普通文件"_s},
      {u"folder"_s, std::nullopt, {}, false, u"不是普通文件"_s},
      {u"fifo"_s, std::nullopt, {}, false, u"不是普通文件"_s},
  };
  for (const auto& c : cases) {
    const FileRead read = ReadRegularFile(dir.File(c.name), 3, c.line_end);
    EXPECT_EQ(read.content.bytes, c.bytes) << c.name.toStdString();
    EXPECT_EQ(read.content.cut, c.cut) << c.name.toStdString();
    EXPECT_EQ(read.problem, c.problem) << c.name.toStdString();
  }
  EXPECT_FALSE(ReadRegularFile(dir.File(u"missing"_s), 3).problem.isEmpty());
}

}  // namespace
}  // namespace ph
