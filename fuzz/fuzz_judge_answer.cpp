// What a judge page or a proxy sends back for it, over arbitrary bytes: the first half is the
// direct answer, the second the echo through a proxy. Finding the own address and the level
// never fails hard, and the level is one of the three or none.
#include "validate/anonymity.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QByteArrayView direct = bytes.first(bytes.size() / 2);
  const QByteArrayView echo = bytes.sliced(bytes.size() / 2);
  const std::optional<uint32_t> own = ph::OwnAddress(direct);
  const std::string level = ph::AnonymityLevel(echo, own.value_or(0x7f000001), direct);
  if (!level.empty() && level != ph::kTransparentLevel && level != ph::kAnonymousLevel &&
      level != ph::kEliteLevel)
    std::abort();
  return 0;
}
