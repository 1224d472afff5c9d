// DecodeUri over arbitrary service replies.
#include "web/decode_uri.h"
#include "web/text_helpers.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  ph::DecodeUri(text);
  ph::TextBetween(text, u"<td>", u"</td>");
  ph::TextBetweenAfter(text, u"<a href=", u">", u"<");
  return 0;
}
