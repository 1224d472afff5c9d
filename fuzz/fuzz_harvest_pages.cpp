// The harvest's page parsers over any page: a list-site page in every category and a 66ip
// reply give rows or nothing, and never more rows than a page may bring.
#include "harvest/sources.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString page =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (const ph::XiciCategory& category : ph::XiciCategories()) {
    if (ph::ParseXiciPage(page, category).size() > static_cast<std::size_t>(ph::kMostRowsPerPage))
      std::abort();
  }
  const ph::Ip66Reply reply = ph::Parse66ipReply(page);
  for (const QString& line : reply.lines)
    if (line.contains(u':')) ph::Ip66Row(line);
  return 0;
}
