#include "support/qqwry_builder.h"

#include "core/gbk.h"

#include <QDateTime>
#include <QFile>

#include <atomic>

namespace ph::test {
namespace {

constexpr int kHeaderSize = 8;
constexpr int kFirstData = 12;
constexpr int kIndexRecordSize = 7;

QByteArray LittleEndian(uint32_t value, int count) {
  QByteArray bytes;
  for (int i = 0; i < count; ++i) bytes.append(static_cast<char>(value >> (8 * i) & 0xFF));
  return bytes;
}

}  // namespace

QByteArray Le32(uint32_t value) { return LittleEndian(value, 4); }
QByteArray Le24(uint32_t value) { return LittleEndian(value, 3); }
QByteArray Gbz(const QString& text) { return ToGbk(text) + QByteArray(1, '\0'); }
QByteArray Jump(uint8_t mode, uint32_t target) {
  return QByteArray(1, static_cast<char>(mode)) + Le24(target);
}
QByteArray Inline(const QString& country, const QString& area) { return Gbz(country) + Gbz(area); }

QQWryBuilder::QQWryBuilder() : bytes_(kFirstData, '\0') {}

uint32_t QQWryBuilder::Append(QByteArrayView bytes) {
  const uint32_t offset = Here();
  bytes_.append(bytes);
  return offset;
}

uint32_t QQWryBuilder::AppendInfo(uint32_t end_ip, QByteArrayView location) {
  const uint32_t offset = Append(Le32(end_ip));
  Append(location);
  return offset;
}

void QQWryBuilder::AddIndex(uint32_t start_ip, uint32_t info_offset) {
  index_.push_back(Le32(start_ip) + Le24(info_offset));
}

uint32_t QQWryBuilder::AddRange(uint32_t start_ip, uint32_t end_ip, QByteArrayView location) {
  const uint32_t offset = AppendInfo(end_ip, location);
  AddIndex(start_ip, offset);
  return offset;
}

void QQWryBuilder::AddRanges(std::initializer_list<InlineRange> ranges) {
  for (const InlineRange& range : ranges)
    AddRange(range.start_ip, range.end_ip, Inline(range.country, range.area));
}

void QQWryBuilder::AddFiller(uint32_t start_ip, int count) {
  for (int i = 0; i < count; ++i)
    AddRange(start_ip + static_cast<uint32_t>(i), start_ip + static_cast<uint32_t>(i),
             Inline(QStringLiteral("末"), QStringLiteral("末")));
}

void QQWryBuilder::PlaceIndex() {
  WriteIndex(bytes_);
  index_placed_ = true;
}

void QQWryBuilder::Patch(uint32_t offset, QByteArrayView bytes) {
  bytes_.replace(offset, bytes.size(), bytes.toByteArray());
}

QByteArray QQWryBuilder::Bytes() const {
  QByteArray file = bytes_;
  if (!index_placed_) WriteIndex(file);
  return file;
}

void QQWryBuilder::WriteIndex(QByteArray& into) const {
  const auto first = static_cast<uint32_t>(into.size());
  const auto records = static_cast<uint32_t>(index_.size());
  const uint32_t last = records == 0 ? first : first + (records - 1) * kIndexRecordSize;
  into.replace(0, kHeaderSize, Le32(first) + Le32(last));
  for (const QByteArray& record : index_) into.append(record);
}

void WriteDatabaseFile(const QString& path, const QByteArray& bytes) {
  static std::atomic<int> writes{0};
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(bytes);
  const QDateTime base(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
  file.setFileTime(base.addSecs(++writes), QFileDevice::FileModificationTime);
}

}  // namespace ph::test
