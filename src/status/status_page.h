#pragma once

#include <QByteArray>

namespace ph {

class StatusBoard;

// "/": the status page, whole in itself (its styles and script inline, no font, script or
// picture from elsewhere), with the status of now inside it, so it shows at once and then
// refreshes itself from "/status.json".
QByteArray StatusPage(const StatusBoard& board);

}  // namespace ph
