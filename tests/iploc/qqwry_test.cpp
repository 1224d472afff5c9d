#include "iploc/qqwry.h"

#include "core/ipv4_text.h"

#include "core/gbk.h"
#include "support/qqwry_builder.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <functional>
#include <ostream>
#include <random>
#include <thread>

namespace ph {
namespace {

using namespace Qt::StringLiterals;
using test::Gbz;
using test::Inline;
using test::Ip;
using test::Jump;
using test::Le32;
using test::QQWryBuilder;

// What one lookup leaves behind.
struct Found {
  int status = -1;
  QString country;
  QString area;
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& found, std::ostream* out) {
  *out << "{" << found.status << ", \"" << found.country.toStdString() << "\", \""
       << found.area.toStdString() << "\"}";
}

// A failed lookup of a fresh reader.
const Found kFailed{0, {}, {}};

Found Result(QQWry& reader, const QString& address) {
  const int status = reader.Lookup(address);
  return {status, reader.Country, reader.LocalStr};
}

// Three ranges with gaps between them, and a last index record that is never chosen.
QQWryBuilder Ranges() {
  QQWryBuilder db;
  db.AddRanges({{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), u"北京市"_s, u"联通"_s},
                {Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), u"广东省"_s, u"电信"_s},
                {Ip(3, 0, 0, 0), Ip(3, 0, 0, 255), u"上海市"_s, u"移动"_s},
                {Ip(4, 0, 0, 0), Ip(4, 0, 0, 255), u"最后"_s, u"最后"_s}});
  return db;
}

// The database of a program directory, as the resolver opens it; none without a file.
DatabaseFile DatabaseOf(const ProgramDir& dir) {
  return OpenDatabaseFile(dir).value_or(DatabaseFile{});
}

class QQWryTest : public ::testing::Test {
 protected:
  void Write(const QByteArray& bytes, const QString& name = u"QQWry.Dat"_s) {
    test::WriteDatabaseFile(dir.File(name), bytes);
  }
  void Write(const QQWryBuilder& db) { Write(db.Bytes()); }
  // A fresh reader per lookup, as the resolver does it.
  Found Lookup(const QString& address) {
    QQWry reader(DatabaseOf(dir.Dir()));
    return Result(reader, address);
  }

  test::TempProgramDir dir;
};

TEST(QQWryAddress, IptointReadsTheFirstFourPartsLeniently) {
  EXPECT_EQ(QQWry::Iptoint(u"1.2.3.4"_s), Ip(1, 2, 3, 4));
  EXPECT_EQ(QQWry::Iptoint(u"300.-2.x.1"_s), Ip(255, 2, 0, 1));
  EXPECT_EQ(QQWry::Iptoint(u"1.2.3.4.5"_s), Ip(1, 2, 3, 4));
  EXPECT_EQ(QQWry::Iptoint(u" 7. +8 .9 .10"_s), Ip(7, 8, 9, 10));
  EXPECT_EQ(QQWry::Iptoint(u"99999999999.-99999999999.0.0"_s), Ip(255, 255, 0, 0));
  // A part with anything but a number in it counts as 0, a port too.
  EXPECT_EQ(QQWry::Iptoint(u"1.2.3.4:80"_s), Ip(1, 2, 3, 0));
  EXPECT_EQ(QQWry::Iptoint(u"1..3.1e2"_s), Ip(1, 0, 3, 0));
  EXPECT_EQ(QQWry::Iptoint(u"1.2.3"_s), std::nullopt);
  EXPECT_EQ(QQWry::Iptoint(u""_s), std::nullopt);
}

TEST_F(QQWryTest, FindsTheRangeThatHoldsTheAddress) {
  Write(Ranges());
  QQWry reader(DatabaseOf(dir.Dir()));
  EXPECT_EQ(Result(reader, u"2.0.0.7"_s), (Found{0, u"广东省"_s, u"电信"_s}));
  EXPECT_EQ(reader.RecordCount, 3);
  EXPECT_EQ(reader.LastStartIP, reader.FirstStartIP + 3 * 7);
  EXPECT_EQ(reader.OffSet, reader.FirstStartIP + 7);
  EXPECT_EQ(reader.Buf, Le32(Ip(2, 0, 0, 255)) + QByteArray(1, Gbz(u"广"_s)[0]));

  EXPECT_EQ(Lookup(u"1.0.0.255"_s), (Found{0, u"北京市"_s, u"联通"_s}));
  EXPECT_EQ(Lookup(u"3.0.0.0"_s), (Found{0, u"上海市"_s, u"移动"_s}));
}

TEST_F(QQWryTest, AnAddressInNoRangeGetsStatus3AndTheTextsOfTheRangeBelow) {
  Write(Ranges());
  EXPECT_EQ(Lookup(u"0.9.9.9"_s), (Found{3, u"北京市"_s, u"联通"_s}));  // below the first
  EXPECT_EQ(Lookup(u"1.0.1.0"_s), (Found{3, u"北京市"_s, u"联通"_s}));
  EXPECT_EQ(Lookup(u"2.200.0.0"_s), (Found{3, u"广东省"_s, u"电信"_s}));
}

TEST_F(QQWryTest, TheLastIndexRecordIsNeverChosen) {
  Write(Ranges());
  EXPECT_EQ(Lookup(u"4.0.0.9"_s), (Found{3, u"上海市"_s, u"移动"_s}));
  EXPECT_EQ(Lookup(u"255.255.255.255"_s), (Found{3, u"上海市"_s, u"移动"_s}));

  // The record before it answers with status 0 when its own range reaches that far.
  QQWryBuilder wide;
  wide.AddRanges({{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), u"北京市"_s, u"联通"_s},
                  {Ip(2, 0, 0, 0), Ip(9, 0, 0, 0), u"广东省"_s, u"电信"_s},
                  {Ip(4, 0, 0, 0), Ip(4, 0, 0, 255), u"最后"_s, u"最后"_s}});
  Write(wide);
  EXPECT_EQ(Lookup(u"4.0.0.9"_s), (Found{0, u"广东省"_s, u"电信"_s}));
}

TEST_F(QQWryTest, AnExactStartAddressEndsTheSearchAtOnce) {
  // Records 1 to 3 share their start; the first one probed (record 2) must win.
  QQWryBuilder db;
  db.AddRanges({{Ip(10, 0, 0, 0), Ip(10, 0, 0, 255), u"零"_s, u""_s},
                {Ip(20, 0, 0, 0), Ip(20, 0, 0, 255), u"一"_s, u""_s},
                {Ip(20, 0, 0, 0), Ip(20, 0, 0, 255), u"二"_s, u""_s},
                {Ip(20, 0, 0, 0), Ip(20, 0, 0, 255), u"三"_s, u""_s},
                {Ip(30, 0, 0, 0), Ip(30, 0, 0, 255), u"四"_s, u""_s}});
  Write(db);
  QQWry reader(DatabaseOf(dir.Dir()));
  EXPECT_EQ(Result(reader, u"20.0.0.0"_s), (Found{0, u"二"_s, u""_s}));
  EXPECT_EQ(reader.OffSet, reader.FirstStartIP + 2 * 7);
}

TEST_F(QQWryTest, AtMostTwoIndexRecordsMeanNoUsableRange) {
  Write(Ranges());
  QQWry reader(DatabaseOf(dir.Dir()));
  ASSERT_EQ(Result(reader, u"2.0.0.7"_s).status, 0);

  QQWryBuilder two;
  two.AddRanges({{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), u"北京市"_s, u"联通"_s},
                 {Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), u"上海市"_s, u"移动"_s}});
  Write(two);
  // LocalStr keeps what the earlier lookup left.
  EXPECT_EQ(Result(reader, u"1.0.0.1"_s), (Found{2, u"未知"_s, u"电信"_s}));
  EXPECT_EQ(reader.RecordCount, 1);

  QQWryBuilder one;
  one.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Inline(u"北京市"_s, u"联通"_s));
  Write(one);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), (Found{2, u"未知"_s, u""_s}));

  // A header whose last record lies before its first.
  QQWryBuilder backwards = Ranges();
  const uint32_t index = backwards.Here();
  backwards.PlaceIndex();
  backwards.Patch(4, Le32(index - 1));
  Write(backwards);
  EXPECT_EQ(Result(reader, u"1.0.0.1"_s).status, 2);
  EXPECT_EQ(reader.RecordCount, -1);
}

TEST_F(QQWryTest, FollowsJumpsOfBothModes) {
  QQWryBuilder db;
  const uint32_t country = db.AppendText(u"浙江省"_s);
  const uint32_t area = db.AppendText(u"阿里云"_s);
  const uint32_t both = db.Append(Inline(u"江苏省"_s, u"南京市"_s));
  // Country inline, area behind a mode-2 jump.
  const uint32_t area_jump = db.Append(Gbz(u"湖北省"_s) + Jump(2, area));
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Jump(1, both));
  db.AddRange(Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), Jump(2, country) + Gbz(u"杭州"_s));
  db.AddRange(Ip(3, 0, 0, 0), Ip(3, 0, 0, 255), Gbz(u"四川省"_s) + Jump(2, area));
  db.AddRange(Ip(4, 0, 0, 0), Ip(4, 0, 0, 255), Jump(1, area_jump));
  db.AddRange(Ip(5, 0, 0, 0), Ip(5, 0, 0, 255), Jump(2, country) + Jump(2, area));
  db.AddFiller(Ip(6, 0, 0, 0));
  Write(db);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), (Found{0, u"江苏省"_s, u"南京市"_s}));
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), (Found{0, u"浙江省"_s, u"杭州"_s}));
  EXPECT_EQ(Lookup(u"3.0.0.1"_s), (Found{0, u"四川省"_s, u"阿里云"_s}));
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), (Found{0, u"湖北省"_s, u"阿里云"_s}));
  EXPECT_EQ(Lookup(u"5.0.0.1"_s), (Found{0, u"浙江省"_s, u"阿里云"_s}));
}

TEST_F(QQWryTest, AModeOneTargetThatJumpsAgainTakesItsAreaFromBehindTheSecondJump) {
  QQWryBuilder db;
  const uint32_t country = db.AppendText(u"广东省"_s);
  db.AppendText(u"跟在国家后面"_s);  // where the area would be without the second jump
  const uint32_t target = db.Append(Jump(2, country) + Gbz(u"深圳电信"_s));
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Jump(1, target) + Gbz(u"跟在第一跳后面"_s));
  db.AddFiller(Ip(2, 0, 0, 0), 2);
  Write(db);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), (Found{0, u"广东省"_s, u"深圳电信"_s}));
}

TEST_F(QQWryTest, TextPositionsBelow12AreEmpty) {
  QQWryBuilder db;
  db.Patch(8, "ABCD");
  ASSERT_EQ(db.AppendText(u"twelve"_s), 12u);
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Jump(2, 8) + Gbz(u"电信"_s));
  db.AddRange(Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), Gbz(u"广东省"_s) + Jump(2, 11));
  db.AddRange(Ip(3, 0, 0, 0), Ip(3, 0, 0, 255), Jump(2, 12) + Jump(2, 9));
  db.AddFiller(Ip(4, 0, 0, 0));
  Write(db);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), (Found{0, u""_s, u"电信"_s}));
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), (Found{0, u"广东省"_s, u""_s}));
  EXPECT_EQ(Lookup(u"3.0.0.1"_s), (Found{0, u"twelve"_s, u""_s}));
}

TEST_F(QQWryTest, TrimsSpacesAndReplacesThePublishersPlaceholder) {
  QQWryBuilder db;
  db.AddRanges({{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), u"  上海市  "_s, u"   "_s},
                {Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), u"IANA CZ88.NET"_s, u" CZ88.NET"_s},
                {Ip(3, 0, 0, 0), Ip(3, 0, 0, 255), u"cz88.net"_s, u"\t移动 "_s}});
  db.AddFiller(Ip(4, 0, 0, 0));
  Write(db);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), (Found{0, u"上海市"_s, u""_s}));
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), (Found{0, u"未知"_s, u"未知"_s}));
  // Only spaces are trimmed, and the placeholder is matched in its own letter case.
  EXPECT_EQ(Lookup(u"3.0.0.1"_s), (Found{0, u"cz88.net"_s, u"\t移动"_s}));
}

TEST_F(QQWryTest, AddressesFrom255_255_255_0TakeTheirTextsFromBehindTheJump) {
  QQWryBuilder db;
  const uint32_t target = db.Append(Inline(u"跳转目标"_s, u"跳转目标区域"_s));
  db.AddRange(Ip(255, 255, 254, 0), Ip(255, 255, 254, 255), Jump(1, target));
  // End address, jump, 4 spare bytes, the country at +12 and the area at +21.
  db.AddRange(Ip(255, 255, 255, 0), Ip(255, 255, 255, 255),
              Jump(1, target) + "----" + Gbz(u"IANA"_s) + "...." + Gbz(u"保留地址"_s));
  db.AddFiller(Ip(255, 255, 255, 255));
  Write(db);
  EXPECT_EQ(Lookup(u"255.255.254.9"_s), (Found{0, u"跳转目标"_s, u"跳转目标区域"_s}));
  EXPECT_EQ(Lookup(u"255.255.255.0"_s), (Found{0, u"IANA"_s, u"保留地址"_s}));
  EXPECT_EQ(Lookup(u"255.255.255.9"_s), (Found{0, u"IANA"_s, u"保留地址"_s}));
}

TEST_F(QQWryTest, AddressTextsAreReadByTheirFirstFourParts) {
  QQWryBuilder db = Ranges();
  db.AddRange(Ip(255, 2, 0, 1), Ip(255, 2, 0, 1), Inline(u"限定"_s, u"正好"_s));
  db.AddFiller(Ip(255, 2, 0, 2));
  Write(db);
  QQWry reader(DatabaseOf(dir.Dir()));
  EXPECT_EQ(Result(reader, u"2.0.0.7.99"_s), (Found{0, u"广东省"_s, u"电信"_s}));
  // Three parts fail before the file is read: the texts stay as they were.
  EXPECT_EQ(Result(reader, u"3.0.0"_s), (Found{0, u"广东省"_s, u"电信"_s}));
  EXPECT_EQ(Result(reader, u"300.-2.x.1"_s), (Found{0, u"限定"_s, u"正好"_s}));
}

TEST_F(QQWryTest, GbkTextsAreReadPairByPair) {
  QQWryBuilder db;
  // ASCII and double-byte characters mixed; a pair that is no GBK character shows as U+FFFD.
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255),
              Gbz(u"AS4134 中国电信"_s) + QByteArray("\xA1\x20x\0", 4));
  db.AddFiller(Ip(2, 0, 0, 0), 2);
  Write(db);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), (Found{0, u"AS4134 中国电信"_s, u"\uFFFDx"_s}));
}

// Damaged and hostile files.

TEST_F(QQWryTest, EveryTruncationEitherAnswersInFullOrFails) {
  const QByteArray full = Ranges().Bytes();
  Write(full);
  const Found answer = Lookup(u"2.0.0.7"_s);
  ASSERT_EQ(answer, (Found{0, u"广东省"_s, u"电信"_s}));
  for (qsizetype size = 0; size < full.size(); ++size) {
    Write(full.left(size));
    // A failure keeps what the lookup had stored so far: nothing, or the country.
    const Found found = Lookup(u"2.0.0.7"_s);
    EXPECT_TRUE(found == answer || found == kFailed || found == (Found{0, answer.country, u""_s}))
        << "truncated to " << size << ": " << ::testing::PrintToString(found);
  }
  Write(full.left(7));
  EXPECT_EQ(Lookup(u"2.0.0.7"_s), kFailed);
  Write(QByteArray());
  EXPECT_EQ(Lookup(u"2.0.0.7"_s), kFailed);
}

TEST_F(QQWryTest, RedirectionLoopsEndTheLookup) {
  QQWryBuilder db;
  const uint32_t area = db.AppendText(u"电信"_s);
  // A chain of three jumps is followed to its end.
  const uint32_t text = db.AppendText(u"链尾"_s);
  const uint32_t hop2 = db.Append(Jump(1, text));
  const uint32_t hop1 = db.Append(Jump(1, hop2));
  // Two jumps that point at each other.
  const uint32_t ping = db.Here();
  db.Append(Jump(1, ping + 4));
  db.Append(Jump(2, ping));
  const uint32_t self = db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Jump(1, 0));
  db.Patch(self + 5, test::Le24(self + 4));  // the record's jump names itself
  db.AddRange(Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), Jump(1, ping));
  db.AddRange(Ip(3, 0, 0, 0), Ip(3, 0, 0, 255), Gbz(u"国家"_s) + Jump(2, ping));
  db.AddRange(Ip(4, 0, 0, 0), Ip(4, 0, 0, 255), Jump(2, hop1) + Jump(2, area));
  db.AddFiller(Ip(5, 0, 0, 0));
  Write(db);
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), kFailed);
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), kFailed);
  // The country was read before the area ran into the loop.
  EXPECT_EQ(Lookup(u"3.0.0.1"_s), (Found{0, u"国家"_s, u""_s}));
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), (Found{0, u"链尾"_s, u"电信"_s}));
}

TEST_F(QQWryTest, OffsetsPastTheEndEndTheLookup) {
  const auto damaged = [&](const std::function<void(QQWryBuilder&)>& damage) {
    QQWryBuilder db;
    db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), Jump(2, 0xFFFFF0) + Gbz(u"电信"_s));
    db.AddRange(Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), Gbz(u"广东省"_s) + Jump(2, 0xFFFFFF));
    db.AddIndex(Ip(3, 0, 0, 0), 0xFFFFFE);
    db.AddRange(Ip(4, 0, 0, 0), Ip(4, 0, 0, 255), Inline(u"正常"_s, u"正常"_s));
    db.AddFiller(Ip(5, 0, 0, 0));
    db.PlaceIndex();
    damage(db);
    Write(db);
  };
  damaged([](QQWryBuilder&) {});
  EXPECT_EQ(Lookup(u"1.0.0.1"_s), kFailed);                         // country jump
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), (Found{0, u"广东省"_s, u""_s}));  // area jump
  EXPECT_EQ(Lookup(u"3.0.0.1"_s), kFailed);                         // info record
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), (Found{0, u"正常"_s, u"正常"_s}));

  damaged([](QQWryBuilder& db) { db.Patch(0, Le32(0xFFFFFFF0u) + Le32(0xFFFFFFFFu)); });
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), kFailed);
  // An index that claims hundreds of millions of records.
  damaged([](QQWryBuilder& db) { db.Patch(4, Le32(0xFFFFFFF0u)); });
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), kFailed);
}

TEST_F(QQWryTest, ATextThatRunsToTheEndOfTheFileEndsTheLookup) {
  // The info record of 2.x lies behind the index, at the very end of the file.
  QQWryBuilder db;
  const uint32_t first = db.AppendInfo(Ip(1, 0, 0, 255), Inline(u"末"_s, u"末"_s));
  const uint32_t third = db.AppendInfo(Ip(3, 0, 0, 255), Inline(u"末"_s, u"末"_s));
  db.AddIndex(Ip(1, 0, 0, 0), first);
  db.AddIndex(Ip(2, 0, 0, 0), db.Here() + 3 * 7);
  db.AddIndex(Ip(3, 0, 0, 0), third);
  db.PlaceIndex();
  QQWryBuilder lone_lead_byte = db;

  // Unterminated ASCII: the lookup fails after the country was stored.
  db.Append(Le32(Ip(2, 0, 0, 255)) + Gbz(u"中国"_s) + "CZ88");
  Write(db);
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), (Found{0, u"中国"_s, u""_s}));

  // A lone lead byte at the very end is dropped and the text ends there.
  lone_lead_byte.Append(Le32(Ip(2, 0, 0, 0)) + Gbz(u"中国"_s) + ToGbk(u"电信"_s) + "\xB5");
  Write(lone_lead_byte);
  EXPECT_EQ(Lookup(u"2.0.0.1"_s), (Found{3, u"中国"_s, u"电信"_s}));
}

TEST_F(QQWryTest, AnEndlessTextIsCutAtOneKibibyte) {
  QQWryBuilder db;
  db.AddRange(Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), QByteArray(4 * 1024 * 1024, 'A') + '\0' + "B");
  db.AddFiller(Ip(2, 0, 0, 0), 2);
  Write(db);
  const Found found = Lookup(u"1.0.0.1"_s);
  EXPECT_EQ(found.country, QString(1024, u'A'));
  EXPECT_LE(found.area.size(), 1024);
}

TEST_F(QQWryTest, RandomBytesNeverHangOrCrash) {
  std::mt19937 random(20240607);
  const auto below = [&](uint32_t limit) {
    return std::uniform_int_distribution<uint32_t>(0, limit - 1)(random);
  };
  for (int file = 0; file < 300; ++file) {
    QByteArray bytes(below(400), '\0');
    for (char& byte : bytes) byte = static_cast<char>(below(4) == 0 ? below(3) : below(256));
    // Mostly a header that points into the file, so the search gets going.
    if (bytes.size() >= 8 && below(4) != 0) {
      const uint32_t first = below(static_cast<uint32_t>(bytes.size()));
      bytes.replace(0, 8, Le32(first) + Le32(first + below(60) * 7));
    }
    Write(bytes);
    for (int i = 0; i < 5; ++i) {
      const int status = Lookup(Ipv4Text(static_cast<uint32_t>(random()))).status;
      EXPECT_TRUE(status == 0 || status == 2 || status == 3) << status;
    }
  }
}

// The file itself.

TEST_F(QQWryTest, AReplacedFileIsReadAtOnce) {
  Write(Ranges());
  QQWry reader(DatabaseOf(dir.Dir()));
  EXPECT_EQ(Result(reader, u"2.0.0.7"_s).country, u"广东省"_s);

  // Same size, other texts: told apart by the modification time.
  QQWryBuilder same_size;
  same_size.AddRanges({{Ip(1, 0, 0, 0), Ip(1, 0, 0, 255), u"北京市"_s, u"联通"_s},
                       {Ip(2, 0, 0, 0), Ip(2, 0, 0, 255), u"广西省"_s, u"铁通"_s},
                       {Ip(3, 0, 0, 0), Ip(3, 0, 0, 255), u"上海市"_s, u"移动"_s},
                       {Ip(4, 0, 0, 0), Ip(4, 0, 0, 255), u"最后"_s, u"最后"_s}});
  ASSERT_EQ(same_size.Bytes().size(), Ranges().Bytes().size());
  Write(same_size);
  EXPECT_EQ(Result(reader, u"2.0.0.7"_s), (Found{0, u"广西省"_s, u"铁通"_s}));

  QQWryBuilder larger = same_size;
  larger.AddFiller(Ip(5, 0, 0, 0));
  Write(larger);
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), (Found{0, u"最后"_s, u"最后"_s}));

  QFile::remove(dir.File(u"QQWry.Dat"_s));
  EXPECT_EQ(Lookup(u"4.0.0.1"_s), kFailed);
}

TEST_F(QQWryTest, RewritingTheFileInPlaceDuringLookupsNeverCrashes) {
  const QByteArray full = Ranges().Bytes();
  Write(full);
  const QString path = dir.File(u"QQWry.Dat"_s);
  std::atomic<bool> done{false};
  // As "cp new.dat qqwry.dat" does: truncate, then write, again and again.
  std::thread rewriter([&] {
    for (int round = 0; round < 300; ++round) {
      QFile file(path);
      if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) continue;
      file.write(full.left(full.size() / 2));
      file.flush();
      file.write(full.mid(full.size() / 2));
    }
    done = true;
  });
  int answered = 0;
  for (int i = 0; !done || i == 0; ++i) {
    const Found found = Lookup(u"2.0.0.7"_s);
    EXPECT_TRUE(found.status == 0 || found.status == 2 || found.status == 3);
    answered += found.country == u"广东省"_s;
  }
  rewriter.join();
  answered += Lookup(u"2.0.0.7"_s).country == u"广东省"_s;
  EXPECT_GT(answered, 0);
}

TEST_F(QQWryTest, TheFileNameMatchesInAnyLetterCase) {
  EXPECT_EQ(Lookup(u"2.0.0.7"_s), kFailed);
  for (const QString& name : {u"qqwry.dat"_s, u"QQWRY.DAT"_s, u"QqWrY.dAt"_s}) {
    test::TempProgramDir other;
    test::WriteDatabaseFile(other.File(name), Ranges().Bytes());
    QQWry reader(DatabaseOf(other.Dir()));
    EXPECT_EQ(reader.QQWryFile, other.File(name));
    EXPECT_EQ(Result(reader, u"2.0.0.7"_s), (Found{0, u"广东省"_s, u"电信"_s}));
  }
}

}  // namespace
}  // namespace ph
