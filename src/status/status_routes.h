#pragma once

#include "status/http_head.h"

#include <QByteArray>
#include <QString>

namespace ph {

class StatusBoard;

// One answer of the status listener.
struct HttpAnswer {
  int status = 200;
  QByteArray content_type;
  QByteArray body;
  QByteArray extra_headers;  // whole lines, each ended by CR LF
  bool close = false;        // the connection ends after it, whatever the client asked
};

// What the status listener answers a request: "/" (the page), "/status.json", "/metrics"
// (with the password, when there is one) and "/healthz" (without).
HttpAnswer StatusAnswer(const StatusBoard& board, const HttpHead& head, const QString& password);

// The answer on the wire: the status line, the headers and, unless for a HEAD request, the
// body.
QByteArray ResponseBytes(const HttpAnswer& answer, bool head_only, bool keep_alive);

// A refusal before any route: a head that was too long or not HTTP.
HttpAnswer Refusal(int status);

}  // namespace ph
