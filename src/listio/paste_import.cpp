#include "listio/paste_import.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

QStringList PastedAddresses(QString text) {
  QStringList addresses;
  for (const char16_t separator : {u'\t', u'@', u'|', u'#'}) text.replace(QChar(separator), u' ');
  if (!text.contains(u':') || !text.contains(u'.')) return addresses;
  // Text copied on Linux ends its lines with LF, on old Macs with CR, on Windows with CR LF.
  text.replace(u"\r\n"_s, u"\n"_s);
  text.replace(u'\r', u'\n');
  for (QString line : text.split(u'\n')) {
    if (line.endsWith(u' ')) line.truncate(line.indexOf(u' '));
    if (line.contains(u':')) addresses.push_back(line);
  }
  return addresses;
}

}  // namespace ph
