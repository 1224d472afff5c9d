#include "console/passed_writer.h"

#include "core/address_text.h"
#include "core/literals.h"
#include "core/numbers.h"
#include "iploc/ip_location.h"

#include <QRegularExpression>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString CsvField(const QString& text) {
  static const QRegularExpression kNeedsQuotes(u"[,\"\\r\\n]"_s);
  if (!text.contains(kNeedsQuotes)) return text;
  return u'"' + QString(text).replace(u"\""_s, u"\"\""_s) + u'"';
}

QString JsonText(const QString& text) {
  if (text.isEmpty()) return u"null"_s;
  QString json = u"\""_s;
  for (const QChar c : text) {
    if (c == u'"' || c == u'\\') {
      json += u'\\';
      json += c;
    } else if (c.unicode() < 0x20) {
      json += u"\\u%1"_s.arg(static_cast<uint>(c.unicode()), 4, 16, QChar(u'0'));
    } else {
      json += c;
    }
  }
  return json + u'"';
}

// A status of digits is a number; anything else stays a text.
QString JsonStatus(const QString& status) {
  static const QRegularExpression kDigits(u"^[0-9]{1,9}$"_s);
  return kDigits.match(status).hasMatch() ? QString::number(status.toInt()) : JsonText(status);
}

}  // namespace

PassedProxy PassedProxyOf(const ProxyEntry& entry, const ProgramDir& dir) {
  PassedProxy proxy;
  proxy.address = entry.Cell(kAddress);
  const SchemeSplit split = SplitScheme(proxy.address);
  proxy.protocol = split.has_scheme ? split.scheme.toString().toLower() : u"http"_s;
  proxy.time_ms = RoundToInt32(ReadNumber(entry.Cell(kElapsedMs)));
  proxy.status = entry.Cell(kProtocolStatus);
  proxy.anonymity = entry.Cell(kProxyType);
  proxy.region = entry.Cell(kRegion).trimmed();
  if (proxy.region.isEmpty()) {
    if (const std::optional<QString> location =
            LocationFromDatabase(AddressHost(proxy.address).toString(), dir))
      proxy.region = location->trimmed();
  }
  return proxy;
}

QString OutputHead(OutputFormat format) {
  if (format != OutputFormat::kCsv) return {};
  return u"address,protocol,time_ms,status,anonymity,region\n"_s;
}

QString OutputLine(OutputFormat format, const PassedProxy& proxy) {
  switch (format) {
    case OutputFormat::kPlain:
      return proxy.address + u'\n';
    case OutputFormat::kCsv:
      return QStringList{CsvField(proxy.address),        proxy.protocol,
                         QString::number(proxy.time_ms), CsvField(proxy.status),
                         CsvField(proxy.anonymity),      CsvField(proxy.region)}
                 .join(u',') +
             u'\n';
    case OutputFormat::kJsonl:
      break;
  }
  return u"{\"address\":%1,\"protocol\":%2,\"time_ms\":%3,\"status\":%4,\"anonymity\":%5,"
         u"\"region\":%6}\n"_s.arg(JsonText(proxy.address), JsonText(proxy.protocol),
                                   QString::number(proxy.time_ms), JsonStatus(proxy.status),
                                   JsonText(proxy.anonymity), JsonText(proxy.region));
}

PassedWriter::PassedWriter(const ProxyList& list, OutputFormat format, ProgramDir dir,
                           std::FILE* out, QObject* parent)
    : QObject(parent), list_(list), format_(format), dir_(std::move(dir)), out_(out) {
  WriteText(out_, OutputHead(format_));
  connect(&list_, &ProxyList::dataChanged, this,
          [this](const QModelIndex& top_left, const QModelIndex& bottom_right) {
            Look(top_left.row() + 1, bottom_right.row() + 1);
          });
}

void PassedWriter::Look(int first_row, int last_row) {
  QString batch;
  for (int row = std::max(first_row, 1); row <= std::min(last_row, list_.RowCount()); ++row) {
    const ProxyEntry& entry = list_.Entry(row);
    if (entry.Cell(kTestResult) != kSuccessText || !written_.insert(entry.id).second) continue;
    batch += OutputLine(format_, PassedProxyOf(entry, dir_));
  }
  if (!batch.isEmpty()) WriteText(out_, batch);
}

}  // namespace ph
