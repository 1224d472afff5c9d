#include "harvest/list_sources.h"

#include "core/bounded_read.h"
#include "core/gbk.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <utility>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

bool IsWebAddress(const QString& location) {
  return location.startsWith("http://"_L1, Qt::CaseInsensitive) ||
         location.startsWith("https://"_L1, Qt::CaseInsensitive);
}

// The source a line's value names, or nothing when the value makes no sense.
std::optional<ListSource> SourceFrom(const QString& name, const QString& value,
                                     const QString& dir) {
  ListSource source{name, value, false, ListProtocol::Http};
  // A leading bare word followed by blanks is the protocol of addresses without a scheme.
  static const QRegularExpression kWord(u"^([A-Za-z0-9]+)\\s+(\\S.*)$"_s);
  if (const QRegularExpressionMatch word = kWord.match(value); word.hasMatch()) {
    const std::optional<ListProtocol> protocol = ProtocolFromWord(word.captured(1).toLatin1());
    if (!protocol) return std::nullopt;
    source.bare = *protocol;
    source.location = word.captured(2);
  }
  if (ProtocolFromWord(source.location.toLatin1())) return std::nullopt;  // a word, no place
  if (IsWebAddress(source.location)) {
    const QUrl url(source.location, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || source.location.contains(u' '))
      return std::nullopt;
    return source;
  }
  if (source.location.contains(u"://"_s)) return std::nullopt;
  source.is_file = true;
  source.location = QDir::cleanPath(QDir(dir).absoluteFilePath(source.location));
  return source;
}

}  // namespace

std::vector<ListSource> DefaultListSources() {
  const QString speedx = u"https://raw.githubusercontent.com/TheSpeedX/PROXY-List/master/"_s;
  const QString monosans = u"https://raw.githubusercontent.com/monosans/proxy-list/main/proxies/"_s;
  return {
      {u"TheSpeedX-http"_s, speedx + u"http.txt"_s, false, ListProtocol::Http},
      {u"TheSpeedX-socks4"_s, speedx + u"socks4.txt"_s, false, ListProtocol::Socks4},
      {u"TheSpeedX-socks5"_s, speedx + u"socks5.txt"_s, false, ListProtocol::Socks5},
      // Every address of this list carries its scheme.
      {u"proxifly-all"_s,
       u"https://raw.githubusercontent.com/proxifly/free-proxy-list/main/proxies/all/data.txt"_s,
       false, ListProtocol::Http},
      {u"monosans-http"_s, monosans + u"http.txt"_s, false, ListProtocol::Http},
      {u"monosans-socks4"_s, monosans + u"socks4.txt"_s, false, ListProtocol::Socks4},
      {u"monosans-socks5"_s, monosans + u"socks5.txt"_s, false, ListProtocol::Socks5},
  };
}

SourcesFile ParseSources(const QString& text, const QString& dir) {
  SourcesFile file;
  const QStringList lines = text.split(u'\n');
  for (qsizetype number = 1; number <= lines.size(); ++number) {
    const QString line = lines[number - 1].trimmed();
    if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';')) continue;
    const qsizetype eq = line.indexOf(u'=');
    const QString name = line.left(std::max<qsizetype>(eq, 0)).trimmed();
    const QString value = line.mid(eq + 1).trimmed();
    std::optional<ListSource> source;
    if (eq > 0 && !name.isEmpty() && !value.isEmpty()) source = SourceFrom(name, value, dir);
    if (source) {
      file.sources.push_back(*std::move(source));
    } else {
      file.problems.append(u"第%1行: %2"_s.arg(number).arg(line));
    }
  }
  return file;
}

SourcesFile ReadSourcesFile(const QString& path) {
  if (!QFileInfo(path).exists()) return {DefaultListSources(), {}};
  const FileRead file = ReadRegularFile(path, kMostSettingsFileBytes, '\n');
  if (!file.problem.isEmpty()) return {{}, {u"无法读取文件: "_s + file.problem}};
  SourcesFile read = ParseSources(FromGbk(file.content.bytes), QFileInfo(path).absolutePath());
  if (file.content.cut) read.problems += u"文件超过 1 MiB, 其后的行未读取"_s;
  return read;
}

QString SourcesProblemText(const QString& path, const QStringList& problems) {
  return QFileInfo(path).fileName() + u" 中有无法识别的行,已忽略: "_s + problems.join(u" | "_s);
}

FetchedBody ReadListFile(const QString& path, qint64 max_bytes) {
  FetchedBody body;
  FileRead file = ReadRegularFile(path, max_bytes);
  if (!file.problem.isEmpty()) return body;
  body.ok = true;
  body.bytes = std::move(file.content.bytes);
  body.cut = file.content.cut;
  return body;
}

}  // namespace ph
