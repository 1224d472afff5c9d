#pragma once

#include <QString>
#include <QStringView>

namespace ph {

// The not-found text of the text helpers; callers compare against it.
inline const QString kNothing = QStringLiteral("Nothing");

// The text between the first start_marker and the next end_marker after it.
// "Nothing" when either marker is missing.
QString TextBetween(QStringView text, QStringView start_marker, QStringView end_marker);

// The same, with start_marker searched only after the first anchor.
QString TextBetweenAfter(QStringView text, QStringView anchor, QStringView start_marker,
                         QStringView end_marker);

// What JavaScript's decodeURI gives for the text placed in a single-quoted string literal:
// string escapes first, then %-escapes of UTF-8 (reserved characters and "#" stay escaped).
// "Nothing" when the text cannot be such a literal or decodeURI would reject it.
// Nothing is ever executed.
QString DecodeUri(QStringView text);

}  // namespace ph
