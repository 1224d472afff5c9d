#pragma once

#include <QString>
#include <QStringView>

namespace ph {

// What JavaScript's decodeURI gives for the text placed in a single-quoted string literal:
// string escapes first, then %-escapes of UTF-8 (reserved characters and "#" stay escaped).
// "Nothing" when the text cannot be such a literal or decodeURI would reject it.
// Nothing is ever executed.
QString DecodeUri(QStringView text);

}  // namespace ph
