#pragma once

#include "harvest/list_addresses.h"
#include "web/web_fetch.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace ph {

// A source is cut after this many addresses or bytes, with a status text.
inline constexpr std::size_t kMostListAddresses = 200000;
inline constexpr qint64 kMostListBytes = 20 * 1024 * 1024;

// One public proxy list: a web address, or a file on this machine.
struct ListSource {
  QString name;
  QString location;  // an http(s) URL, or a file's absolute path
  bool is_file = false;
  ListProtocol bare = ListProtocol::Http;  // for addresses written without a scheme
};

// What a harvest got from one public list: the addresses it added (those not seen before in
// the same harvest), or why it got none.
struct ListSourceOutcome {
  QString name;
  int added = 0;
  QString problem;  // the status text that said why the list was not read; empty when it was
};

// What "sources.ini" says: the sources, and the lines that were not understood.
struct SourcesFile {
  std::vector<ListSource> sources;
  QStringList problems;  // "第N行: text"
};

// The lists volunteers publish and refresh, used when there is no "sources.ini".
std::vector<ListSource> DefaultListSources();

// One "name = location" or "name = protocol location" per line; "#" and ";" begin comments.
// A location is an http(s) URL or a file path, a relative one taken from dir.
SourcesFile ParseSources(const QString& text, const QString& dir);

// The file (GBK), or the default lists when there is no such file.
SourcesFile ReadSourcesFile(const QString& path);

// The one status text for the lines of the file at path that were not understood.
QString SourcesProblemText(const QString& path, const QStringList& problems);

// A local list read as a fetch would bring it: its first max_bytes, cut when longer.
FetchedBody ReadListFile(const QString& path, qint64 max_bytes);

}  // namespace ph
