#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace ph {

// How a proxy from a public list is spoken to. "https" names an HTTP proxy too.
enum class ListProtocol : uint8_t { Http, Socks4, Socks5 };

// http, https, socks4, socks4a, socks5 and socks5h in any letter case; nothing for others.
std::optional<ListProtocol> ProtocolFromWord(QByteArrayView word);

// One address found in a list.
struct ListAddress {
  uint32_t ip = 0;  // host order
  uint16_t port = 0;
  ListProtocol protocol = ListProtocol::Http;

  // The proxy as one number, for dropping the ones seen before.
  uint64_t Key() const;
  // The address cell: "ip:port" for HTTP, "socks4://ip:port" and "socks5://ip:port" for SOCKS.
  QString Cell() const;
};

struct ListExtract {
  std::vector<ListAddress> addresses;
  bool cut = false;  // more addresses followed the most that were taken
};

// Every "ip:port" and "scheme://ip:port" in a list's text, in order, whatever surrounds them
// (plain lines, HTML, JSON with or without escaped slashes). An address is not taken when it
// is part of a longer word or number, follows "@" (it needs a password), or has a scheme
// other than the protocol words; one without a scheme has the protocol bare. At most `most`
// addresses are taken.
ListExtract ExtractListAddresses(QByteArrayView text, ListProtocol bare, std::size_t most);

// A text cut off at a size limit without its last, perhaps partial, address.
QByteArrayView WithoutLastWord(QByteArrayView text);

// The addresses of one harvest so far, by their keys: an open-addressing table, since a
// harvest may see a million of them and a node per key costs more than the finding.
class SeenAddresses {
 public:
  // True when the key is new, which it is from now on no more.
  bool Insert(uint64_t key);
  void Clear();

 private:
  std::vector<uint64_t> slots_;  // 0 marks a free slot; no key is 0, a port never is
  std::size_t count_ = 0;
};

// Drops the addresses already seen, and notes the others as seen.
void DropSeen(std::vector<ListAddress>& addresses, SeenAddresses& seen);

}  // namespace ph
