#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

namespace ph {

// The general date-and-time text of the first-validation cell, e.g. "2026/12/7 4:22:19".
QString GeneralDateTimeText(const QDateTime& when);

// True when the text reads back as a date and time (the general form, a "-" separated date,
// or ISO 8601).
bool ParsesAsDateTime(QStringView text);

}  // namespace ph
