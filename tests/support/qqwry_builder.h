#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace ph::test {

// a.b.c.d as the database's address number.
constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

// Pieces of location data.
QByteArray Le32(uint32_t value);
QByteArray Le24(uint32_t value);
QByteArray Gbz(const QString& text);             // GBK bytes and the ending zero byte
QByteArray Jump(uint8_t mode, uint32_t target);  // 0x01/0x02 and a 3-byte offset
QByteArray Inline(const QString& country, const QString& area);  // both texts in place

// Writes QQWry database files: the 8-byte header, 4 spare bytes, then whatever is appended
// (info records, texts, raw bytes) at known offsets from 12 on, the first place a text may
// stand, then the index of 7-byte records. The index goes to the end unless it is placed
// earlier on purpose.
class QQWryBuilder {
 public:
  QQWryBuilder();

  // Offset the next appended byte gets.
  uint32_t Here() const { return static_cast<uint32_t>(bytes_.size()); }
  uint32_t Append(QByteArrayView bytes);
  uint32_t AppendText(const QString& text) { return Append(Gbz(text)); }
  // An info record: the range's end address and its location data; returns its offset.
  uint32_t AppendInfo(uint32_t end_ip, QByteArrayView location);

  // An index record; records are written in the order added.
  void AddIndex(uint32_t start_ip, uint32_t info_offset);
  // Info record and index record at once.
  uint32_t AddRange(uint32_t start_ip, uint32_t end_ip, QByteArrayView location);
  struct InlineRange {
    uint32_t start_ip;
    uint32_t end_ip;
    QString country;
    QString area;
  };
  void AddRanges(std::initializer_list<InlineRange> ranges);
  // Ranges of one address each from start_ip on, texts "末": a lookup never chooses the last
  // index record, and searches only with at least three of them.
  void AddFiller(uint32_t start_ip, int count = 1);

  // Writes the index here and points the header at it; later appends follow it.
  void PlaceIndex();
  // Overwrites bytes already written (the header too), for damaged files.
  void Patch(uint32_t offset, QByteArrayView bytes);

  // The finished file; the index is placed at the end if it was not placed yet.
  QByteArray Bytes() const;

 private:
  void WriteIndex(QByteArray& into) const;

  QByteArray bytes_;
  std::vector<QByteArray> index_;
  bool index_placed_ = false;
};

// Writes a database file with a modification time no earlier write of this process had, so a
// replaced file is told apart from the one before even at equal size and within one second.
void WriteDatabaseFile(const QString& path, const QByteArray& bytes);

}  // namespace ph::test
