#pragma once

#include <QString>
#include <QStringView>

namespace ph {

class ProxyList;

// The protocols of the list's addresses, as bits: "1.2.3.4:80" (and "http://") is HTTP,
// "socks4://" SOCKS4, "socks5://" SOCKS5.
enum Protocol : unsigned { kHttp = 1, kSocks4 = 2, kSocks5 = 4 };
unsigned ProtocolOf(QStringView address);

// Which rows the view shows: those whose address, region or type holds the text (in any
// case), only the successful ones when asked, and only the chosen protocols (none chosen:
// every protocol).
struct RowFilter {
  QString text;
  bool successful_only = false;
  unsigned protocols = 0;

  bool operator==(const RowFilter&) const = default;
  // False when it passes every row.
  bool Active() const { return !text.isEmpty() || successful_only || protocols != 0; }
  // True when every row this filter passes, wider passes too: then only the rows wider
  // passed need to be asked again.
  bool Narrows(const RowFilter& wider) const;
};

// A filter made ready to be asked of many rows: its text is searched for in exact case where
// case makes no difference to it (digits, dots, Chinese), which is several times faster.
class RowTest {
 public:
  explicit RowTest(const RowFilter& filter = {});

  bool Passes(const ProxyList& list, int row) const;

 private:
  bool Holds(const QString& cell) const { return cell.contains(filter_.text, case_); }

  RowFilter filter_;
  Qt::CaseSensitivity case_;
};

}  // namespace ph
