#include "web/text_helpers.h"

namespace ph {

QString TextBetween(QStringView text, QStringView start_marker, QStringView end_marker) {
  const qsizetype a = text.indexOf(start_marker);
  if (a < 0) return kNothing;
  const qsizetype b = a + start_marker.size();
  const qsizetype c = text.indexOf(end_marker, b);
  if (c < 0) return kNothing;
  return text.mid(b, c - b).toString();
}

QString TextBetweenAfter(QStringView text, QStringView anchor, QStringView start_marker,
                         QStringView end_marker) {
  const qsizetype a = text.indexOf(anchor);
  if (a < 0) return kNothing;
  const qsizetype b = text.indexOf(start_marker, a + anchor.size());
  if (b < 0) return kNothing;
  const qsizetype d = b + start_marker.size();
  const qsizetype e = text.indexOf(end_marker, d);
  if (e < 0) return kNothing;
  return text.mid(d, e - d).toString();
}

}  // namespace ph
