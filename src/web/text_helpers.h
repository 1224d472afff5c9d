#pragma once

#include "core/literals.h"

#include <QString>
#include <QStringView>

namespace ph {

// The text between the first start_marker and the next end_marker after it.
// "Nothing" when either marker is missing.
QString TextBetween(QStringView text, QStringView start_marker, QStringView end_marker);

// The same, with start_marker searched only after the first anchor.
QString TextBetweenAfter(QStringView text, QStringView anchor, QStringView start_marker,
                         QStringView end_marker);

}  // namespace ph
