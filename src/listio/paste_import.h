#pragma once

#include <QString>
#include <QStringList>

namespace ph {

// The addresses in pasted text: one per line (ended by CR LF, LF or CR alike) that holds a
// ":", after tabs, "@", "|" and "#" became blanks; a line that ends with a blank (a row copied
// from a table) keeps only its first column. Nothing when the text holds no ":" or no ".".
QStringList PastedAddresses(QString text);

}  // namespace ph
