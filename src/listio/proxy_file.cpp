#include "listio/proxy_file.h"

#include "core/bounded_read.h"
#include "core/gbk.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// Cells written per row, in field order.
constexpr int kFirstFileCell = kAddress;
constexpr int kLastFileCell = kTestCount;
// Cells read back per line; the tenth field (the validation count) is not read.
constexpr int kLastImportedCell = kTestedAt;

}  // namespace

QString ProxyFileText(const ProxyList& list) {
  QString text;
  text.reserve(list.RowCount() * 80);
  for (int row = 1; row <= list.RowCount(); ++row) {
    for (int cell = kFirstFileCell; cell <= kLastFileCell; ++cell) {
      if (cell > kFirstFileCell) text += u'|';
      text += list.CellText(row, cell);
    }
    text += u"\r\n"_s;
  }
  return text;
}

QString ReadTextFile(const QString& path, qint64 most_bytes) {
  const FileRead file = ReadRegularFile(path, most_bytes, '\r');
  if (!file.problem.isEmpty()) return {};
  const QString raw = FromGbk(file.content.bytes);
  QString text;
  text.reserve(raw.size() + raw.size() / 16);
  qsizetype line_start = 0;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    if (raw[i] != u'\r') continue;
    text += QStringView(raw).mid(line_start, i - line_start);
    text += u"\r\n"_s;
    if (i + 1 < raw.size() && raw[i + 1] == u'\n') ++i;
    line_start = i + 1;
  }
  if (line_start < raw.size()) {
    text += QStringView(raw).mid(line_start);
    text += u"\r\n"_s;
  }
  return text;
}

std::vector<NewRow> ParseProxyFile(const QString& text) {
  std::vector<NewRow> rows;
  if (!text.contains(u'|') || !text.contains(u':')) return rows;
  for (const QStringView line : QStringView(text).split(u"\r\n"_s)) {
    if (!line.contains(u'|')) continue;
    NewRow& row = rows.emplace_back();
    // A short line fills the cells it has; the rest stay empty.
    const QList<QStringView> fields = line.split(u'|');
    const qsizetype used = std::min<qsizetype>(fields.size(), kLastImportedCell);
    for (qsizetype f = 0; f < used; ++f) row[static_cast<std::size_t>(f)] = fields[f].toString();
    row[kTestCount - 1] = u"0"_s;
    row[kSuccessCount - 1] = u"0"_s;
  }
  return rows;
}

}  // namespace ph
