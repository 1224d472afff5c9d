#include "core/date_text.h"

#include <QDate>
#include <QTime>

namespace ph {
namespace {

// Reads 1 to max_digits decimal digits at pos.
bool ReadField(QStringView text, qsizetype& pos, int max_digits, int& value) {
  value = 0;
  int digits = 0;
  while (pos < text.size() && digits < max_digits && text[pos].isDigit()) {
    value = value * 10 + text[pos].digitValue();
    ++pos;
    ++digits;
  }
  return digits > 0;
}

bool Expect(QStringView text, qsizetype& pos, char16_t c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

bool ParsesAsGeneralForm(QStringView text) {
  qsizetype pos = 0;
  int year = 0, month = 0, day = 0;
  if (!ReadField(text, pos, 4, year) || pos != 4) return false;
  if (pos >= text.size() || (text[pos] != u'/' && text[pos] != u'-')) return false;
  const char16_t separator = text[pos++].unicode();
  if (!ReadField(text, pos, 2, month) || !Expect(text, pos, separator) ||
      !ReadField(text, pos, 2, day) || !QDate::isValid(year, month, day))
    return false;
  if (pos == text.size()) return true;
  int hour = 0, minute = 0, second = 0;
  if (!Expect(text, pos, u' ') || !ReadField(text, pos, 2, hour) || !Expect(text, pos, u':') ||
      !ReadField(text, pos, 2, minute))
    return false;
  if (pos < text.size() && (!Expect(text, pos, u':') || !ReadField(text, pos, 2, second)))
    return false;
  return pos == text.size() && QTime::isValid(hour, minute, second);
}

}  // namespace

QString GeneralDateTimeText(const QDateTime& when) {
  return when.toString(QStringLiteral("yyyy/M/d H:mm:ss"));
}

bool ParsesAsDateTime(QStringView text) {
  const QStringView trimmed = text.trimmed();
  if (trimmed.isEmpty()) return false;
  if (ParsesAsGeneralForm(trimmed)) return true;
  return QDateTime::fromString(trimmed.toString(), Qt::ISODate).isValid();
}

}  // namespace ph
