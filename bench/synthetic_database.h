#pragma once

#include <QByteArray>

namespace ph::bench {

// A QQWry database of about 10 MB with small gaps between its ranges, mixing inline texts,
// mode-2 countries and areas and mode-1 records, as the publisher's file does.
QByteArray SyntheticDatabase();

}  // namespace ph::bench
