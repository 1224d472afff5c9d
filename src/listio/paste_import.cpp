#include "listio/paste_import.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

QStringList PastedAddresses(QString text) {
  QStringList addresses;
  for (const char16_t separator : {u'\t', u'@', u'|', u'#'}) text.replace(QChar(separator), u' ');
  if (!text.contains(u':') || !text.contains(u'.')) return addresses;
  for (QString line : text.split(u"\r\n"_s)) {
    if (line.endsWith(u' ')) line.truncate(line.indexOf(u' '));
    if (line.contains(u':')) addresses.push_back(line);
  }
  return addresses;
}

}  // namespace ph
