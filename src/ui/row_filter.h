#pragma once

#include <QString>
#include <QStringView>

#include <string_view>

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

// A filter made ready to be asked of many rows. Where case makes no difference to its text
// (digits, dots, Chinese) the text is searched for as it is, by a search inlined here: cells
// are short, and Qt's general search costs more to set up for each than it takes.
class RowTest {
 public:
  explicit RowTest(const RowFilter& filter = {});

  bool Passes(const ProxyList& list, int row) const;

 private:
  bool Holds(const QString& cell) const;

  RowFilter filter_;
  std::u16string_view exact_;  // the text, while case makes no difference to it
};

}  // namespace ph
