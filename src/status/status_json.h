#pragma once

#include <QByteArray>

namespace ph {

class StatusBoard;

// "/status.json": everything the status page shows, as UTF-8 JSON that may also stand inside
// the page's script element. Walks no list: counts, the day's history and the owners' tallies.
QByteArray StatusJson(const StatusBoard& board);

}  // namespace ph
