#include "listio/csv_export.h"

#include "core/proxy_list.h"
#include "listio/gbk_file.h"

#include <QFileDevice>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString CsvText(const ProxyList& list) {
  QString text;
  text.reserve(list.RowCount() * 160);
  for (const QString& caption : ProxyList::Captions()) text += caption + u',';
  text += u"\r\n"_s;
  for (int row = 1; row <= list.RowCount(); ++row) {
    text += list.CellText(row, kIndex);
    text += u',';
    // ="..." keeps spreadsheet programs from reading addresses and times as numbers; a quote
    // inside is doubled, so no cell text can end the quoting and become a formula.
    for (int cell = 1; cell < kCellCount; ++cell) {
      text += u"=\""_s;
      QString value = list.CellText(row, cell);
      text += value.replace(u'"', u"\"\""_s);
      text += u"\","_s;
    }
    text += u"\r\n"_s;
  }
  text += u"\r\n"_s;
  return text;
}

}  // namespace

QString CsvFileName(const QDateTime& when) { return when.toString(u"MM-dd HHmmss"_s) + u".csv"_s; }

int WriteListCsv(const ProxyList& list, const QString& path) {
  if (list.RowCount() == 0) return QFileDevice::WriteError;
  return WriteGbkFile(path, CsvText(list));
}

}  // namespace ph
