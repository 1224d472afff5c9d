// Addresses out of an arbitrary public list: never more than asked for, and every address
// found reads back as itself from its own cell.
#include "harvest/list_addresses.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto bare = static_cast<ph::ListProtocol>(size % 3);
  ph::ListExtract found = ph::ExtractListAddresses(ph::WithoutLastWord(text), bare, 64);
  if (found.addresses.size() > 64) std::abort();
  ph::SeenAddresses seen;
  ph::DropSeen(found.addresses, seen);
  for (const ph::ListAddress& address : found.addresses) {
    const QByteArray cell = address.Cell().toLatin1();
    const ph::ListExtract again = ph::ExtractListAddresses(cell, ph::ListProtocol::Http, 2);
    if (again.addresses.size() != 1 || again.addresses[0].Key() != address.Key()) std::abort();
  }
  return 0;
}
