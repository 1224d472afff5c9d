#pragma once

#include <QByteArray>

namespace ph {

class StatusBoard;

// "/metrics": the Prometheus text format 0.0.4, every family with its HELP and TYPE, names
// prefixed "proxyharvest_", units in the names, counters ending in "_total". Walks no list.
QByteArray MetricsText(const StatusBoard& board);

// The content type that names that format.
inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace ph
