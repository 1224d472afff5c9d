// The GBK codec over arbitrary bytes: decoding never fails hard, and text survives a round trip.
#include "core/gbk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  ph::GbkBytesToText(bytes);
  const QString text = ph::FromGbk(bytes);
  const QString again = ph::FromGbk(ph::ToGbk(text));
  // Every decoded character but the replacement character is one GBK holds.
  if (QString(text).replace(QChar(0xFFFD), u'?') != again) std::abort();
  return 0;
}
