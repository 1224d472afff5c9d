#pragma once

#include <QString>
#include <QStringView>

namespace ph {

// The control API's percent codec on GBK, not UTF-8: an escape stands for one GBK byte, a
// Chinese character is two escapes.

// Two-byte characters as two escapes (upper-case hex), a blank as "+", the ASCII punctuation
// of URLs as one escape, everything else as it is. A character GBK cannot hold is "?", so
// "%3F".
QString UrlEncode(QStringView text);
// The same, appended to out.
void AppendUrlEncoded(QString& out, QStringView text);

// "+" to blank, then every "%" escape to its byte (two characters read as hex the lenient
// way; a lone character after "%" copied), the bytes read as GBK. Without any "%" the text
// comes back as it is. "" when a character beside a "%" needs two bytes, when the bytes would
// exceed 999,999, or when no byte is left.
QString UrlDecode(QStringView text);

}  // namespace ph
