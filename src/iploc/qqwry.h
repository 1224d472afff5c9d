#pragma once

#include "iploc/database_file.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace ph {

// Looks up where an IPv4 address lies in the QQWry database, the publisher's file that maps
// ranges of addresses to a country text and an area text (GBK). It reads the file's bytes
// directly and keeps no index. One object per lookup; window's thread only.
//
// The database is untrusted input: every read is checked against the end of the file, a
// chain of redirections is cut off after a few steps, and any failure simply ends the
// lookup with status 0.
class QQWry {
 public:
  // The database file is opened with the object, and opened again for every lookup after the
  // first.
  explicit QQWry(DatabaseFile file);
  ~QQWry();
  QQWry(const QQWry&) = delete;
  QQWry& operator=(const QQWry&) = delete;

  QString Country;            // country text of the last lookup
  QString LocalStr;           // area text of the last lookup
  QByteArray Buf;             // the bytes of the last fixed-size read
  int64_t OffSet = 0;         // offset of the index record read last
  QString QQWryFile;          // full path of the database file
  uint32_t FirstStartIP = 0;  // offset of the first index record
  uint32_t LastStartIP = 0;   // offset of the last index record
  int32_t RecordCount = 0;    // index records after the first

  // Dotted text to address number: a part that is not a whole number counts as 0, a
  // negative one by its absolute value, one above 255 as 255; parts after the fourth are
  // ignored. Nothing for fewer than four parts.
  static std::optional<uint32_t> Iptoint(const QString& IP);
  // Fills Country and LocalStr. 0: found, or the lookup failed (the texts keep what they
  // held then); 2: the database has no usable range (Country "未知"); 3: the address lies in
  // no listed range and the texts are those of the range below it.
  int16_t Lookup(const QString& DotIP);

 private:
  std::optional<uint32_t> ReadIndexEntry(int32_t RecNo);
  std::optional<uint32_t> ReadRangeEnd();
  bool ReadLocation(uint32_t IP);
  std::optional<QString> ReadRedirectedString(int64_t Offset);
  std::optional<QString> ReadCString();

  // The stream: reads at position_ that fail rather than run past the end of the file.
  bool ReadFixed(int count);  // into Buf
  std::optional<uint8_t> ReadByte();
  bool AtEnd() const;
  uint32_t BufNumber(int first, int count) const;  // little-endian
  bool ReadTextAt(int64_t offset, QString& text);

  uint32_t RangeStartIP = 0;  // start address of the index record read last
  uint32_t RangeEndIP = 0;    // end address of the info record read last
  uint8_t InfoMode = 0;       // the byte after the end address; 2 once a mode-2 jump is followed
  uint32_t InfoOffset = 0;    // info record of the index record read last
  std::shared_ptr<const FileBytes> stream_;
  bool stream_unused_ = true;  // the stream opened with the object serves the first lookup
  int64_t position_ = 0;
};

}  // namespace ph
