#pragma once

#include "app/command_line.h"
#include "core/program_dir.h"
#include "core/proxy_list.h"

#include <QObject>
#include <QString>

#include <cstdio>
#include <unordered_set>

namespace ph {

// A working proxy as "check" writes it.
struct PassedProxy {
  QString address;   // as the list holds it: "ip:port", "socks5://ip:port"
  QString protocol;  // http, socks4 or socks5
  qint64 time_ms = 0;
  QString status;     // the HTTP status of the test page
  QString anonymity;  // 透明, 普通匿名, 高匿; empty when not judged
  QString region;     // empty when unknown
};

// The row's values; the region from the IP database when the row has none.
PassedProxy PassedProxyOf(const ProxyEntry& entry, const ProgramDir& dir);

// What precedes the first proxy: the CSV header line; nothing for the other formats.
QString OutputHead(OutputFormat format);
// One proxy, one line: the address (plain), an RFC 4180 record (csv) or a JSON object (jsonl)
// with the fields address, protocol, time_ms, status, anonymity, region (unknown: null).
QString OutputLine(OutputFormat format, const PassedProxy& proxy);

// Writes every row of the list whose test result turns to success, once, as soon as the
// list shows it, each batch of results flushed at once.
class PassedWriter : public QObject {
  Q_OBJECT

 public:
  PassedWriter(const ProxyList& list, OutputFormat format, ProgramDir dir, std::FILE* out,
               QObject* parent = nullptr);

  int Written() const { return static_cast<int>(written_.size()); }

 private:
  void Look(int first_row, int last_row);

  const ProxyList& list_;
  const OutputFormat format_;
  const ProgramDir dir_;
  std::FILE* out_;
  std::unordered_set<RowId> written_;
};

}  // namespace ph
