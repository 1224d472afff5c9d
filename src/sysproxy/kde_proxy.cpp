#include "sysproxy/kde_proxy.h"

#include "core/bounded_read.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr QByteArrayView kGroupHeader = "[Proxy Settings]";

using Entries = std::vector<std::pair<QByteArray, QByteArray>>;  // key, value

// One line of the file; end is "\n", "\r\n", or empty on a last line without one.
struct Line {
  QByteArray body;
  QByteArray end;
};

std::vector<Line> SplitLines(const QByteArray& text) {
  std::vector<Line> lines;
  qsizetype start = 0;
  while (start < text.size()) {
    const qsizetype newline = text.indexOf('\n', start);
    if (newline < 0) {
      lines.push_back({text.mid(start), {}});
      break;
    }
    const qsizetype body_end = newline > start && text[newline - 1] == '\r' ? newline - 1 : newline;
    lines.push_back(
        {text.mid(start, body_end - start), text.mid(body_end, newline + 1 - body_end)});
    start = newline + 1;
  }
  return lines;
}

// The key of an entry line as KConfig reads it; empty for comments and anything else.
QByteArray EntryKey(const QByteArray& trimmed) {
  if (trimmed.startsWith('#')) return {};
  const qsizetype equals = trimmed.indexOf('=');
  return equals > 0 ? trimmed.left(equals).trimmed() : QByteArray();
}

// Rewrites the entries where they stand in [Proxy Settings], in each copy of the group since
// KConfig lets the last one win. Returns the line after which missing entries go: the last
// entry of the last copy, or its header; -1 without the group.
qsizetype RewriteInPlace(std::vector<Line>& lines, const Entries& entries,
                         std::vector<bool>& found) {
  qsizetype insert_after = -1;
  bool in_group = false;
  for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
    const QByteArray trimmed = lines[i].body.trimmed();
    if (trimmed.startsWith('[')) {
      in_group = trimmed == kGroupHeader;
      if (in_group) insert_after = i;
      continue;
    }
    const QByteArray key = in_group ? EntryKey(trimmed) : QByteArray();
    if (key.isEmpty()) continue;
    insert_after = i;
    for (size_t e = 0; e < entries.size(); ++e) {
      if (key != entries[e].first) continue;
      lines[i].body = key + '=' + entries[e].second;
      found[e] = true;
    }
  }
  return insert_after;
}

// Sets the entries in [Proxy Settings] and keeps every other byte; a missing entry goes at
// the end of the group, a missing group at the end of the file, in the file's line ending.
QByteArray WithProxySettings(const QByteArray& text, const Entries& entries) {
  std::vector<Line> lines = SplitLines(text);
  const QByteArray newline =
      !lines.empty() && !lines.front().end.isEmpty() ? lines.front().end : "\n"_ba;
  std::vector<bool> found(entries.size(), false);
  qsizetype insert_after = RewriteInPlace(lines, entries, found);

  std::vector<Line> added;
  if (insert_after < 0) {
    if (!lines.empty() && !lines.back().body.trimmed().isEmpty()) added.push_back({{}, newline});
    added.push_back({kGroupHeader.toByteArray(), newline});
    insert_after = qsizetype(lines.size()) - 1;
  }
  for (size_t e = 0; e < entries.size(); ++e) {
    if (!found[e]) added.push_back({entries[e].first + '=' + entries[e].second, newline});
  }
  if (!added.empty()) {
    if (insert_after >= 0 && lines[insert_after].end.isEmpty()) lines[insert_after].end = newline;
    lines.insert(lines.begin() + (insert_after + 1), added.begin(), added.end());
  }

  QByteArray result;
  result.reserve(text.size() + 200);
  for (const Line& line : lines) result += line.body + line.end;
  return result;
}

QByteArray KdeAddress(const char* scheme, const ProxyAddress& address) {
  return scheme + address.host.toLatin1() + ' ' + QByteArray::number(address.port);
}

// KIO programs re-read their proxy settings on this signal. Without a session bus there is
// nobody to tell, and libdbus must not go and start one.
void TellKdeToReread() {
  const QString runtime_dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
      (runtime_dir.isEmpty() || !QFileInfo::exists(runtime_dir + u"/bus"_s)))
    return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage message = QDBusMessage::createSignal(u"/KIO/Scheduler"_s, u"org.kde.KIO.Scheduler"_s,
                                                    u"reparseSlaveConfiguration"_s);
  message << QString();
  bus.send(message);
}

}  // namespace

KdeProxy::KdeProxy(QString config_dir, bool notify)
    : config_dir_(std::move(config_dir)), notify_(notify) {}

QString KdeProxy::SessionConfigDir() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

SysProxyResult KdeProxy::SetAddress(const ProxyAddress& address) {
  // Manual mode uses every proxy that is set, so the other kind is cleared.
  const bool http = address.kind == ProxyAddress::Kind::Http;
  const QByteArray http_value = http ? KdeAddress("http://", address) : QByteArray();
  const QByteArray socks_value = http ? QByteArray() : KdeAddress("socks://", address);
  return Write({{"httpProxy"_ba, http_value},
                {"httpsProxy"_ba, http_value},
                {"socksProxy"_ba, socks_value}});
}

SysProxyResult KdeProxy::SwitchOn(bool on) {
  return Write({{"ProxyType"_ba, on ? "1"_ba : "0"_ba}});
}

SysProxyResult KdeProxy::Write(const Entries& entries) const {
  const QString path = QDir(config_dir_).filePath(u"kioslaverc"_s);
  const QString shown = QDir::toNativeSeparators(path);
  QByteArray old_text;
  if (QFileInfo(path).exists()) {
    // The file is written back whole: one cut at the limit would lose its end.
    const FileRead old_file = ReadRegularFile(path, kMostSettingsFileBytes);
    if (!old_file.problem.isEmpty())
      return SysProxyFailure(u"无法读取 %1: %2"_s.arg(shown, old_file.problem));
    if (old_file.content.cut) return SysProxyFailure(u"无法读取 %1: 文件超过 1 MiB"_s.arg(shown));
    old_text = old_file.content.bytes;
  }
  if (!QDir().mkpath(config_dir_))
    return SysProxyFailure(u"无法创建目录 %1"_s.arg(QDir::toNativeSeparators(config_dir_)));

  const QByteArray text = WithProxySettings(old_text, entries);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    const QString error = file.errorString();
    file.cancelWriting();
    return SysProxyFailure(u"无法写入 %1: %2"_s.arg(shown, error));
  }
  if (notify_) TellKdeToReread();
  return {};
}

}  // namespace ph
