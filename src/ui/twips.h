#pragma once

#include <QWidget>

namespace ph {

// Design sizes are in twips: 15 twips are one pixel at 96 dpi.
inline int Twips(const QWidget* widget, int twips) {
  const int dpi = widget ? widget->logicalDpiX() : 96;
  return twips * dpi / (15 * 96);
}

}  // namespace ph
