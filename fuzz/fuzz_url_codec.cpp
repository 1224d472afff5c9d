// The API's GBK percent codec: decoding any text ends, and any text GBK holds comes back from
// its encoding unchanged.
#include "api/url_codec.h"
#include "core/gbk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  ph::UrlDecode(QString::fromUtf8(bytes));
  const QString text = ph::FromGbk(bytes);
  ph::UrlDecode(text);
  if (!text.contains(QChar(0xFFFD)) && ph::UrlDecode(ph::UrlEncode(text)) != text &&
      !text.isEmpty())
    std::abort();
  return 0;
}
