// An arbitrary "sources.ini": every source it yields has a name and a place to read.
#include "core/gbk.h"
#include "harvest/list_sources.h"

#include <QDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const ph::SourcesFile file = ph::ParseSources(ph::FromGbk(bytes), QStringLiteral("/fuzz"));
  for (const ph::ListSource& source : file.sources) {
    if (source.name.isEmpty() || source.location.isEmpty()) std::abort();
    if (source.is_file && !QDir::isAbsolutePath(source.location)) std::abort();
  }
  return 0;
}
