#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace ph {

// What the status listener needs of a request's head.
struct HttpHead {
  QByteArray method;
  QByteArray path;  // the target up to "?" or "#"
  bool http11 = false;
  bool keep_alive = false;  // what the version and the Connection header ask for
  bool has_body = false;    // a Content-Length above 0, or a Transfer-Encoding
  QByteArray authorization;
};

// The head at the start of bytes (request line, header fields, blank line), of HTTP/1.0 or
// HTTP/1.1; nothing when it is not one.
std::optional<HttpHead> ParseHttpHead(QByteArrayView head);

// True when the Authorization value is HTTP Basic with this password, whatever the user name.
// Compared in a time that does not depend on where the texts differ.
bool BasicPasswordMatches(const QByteArray& authorization, const QString& password);

}  // namespace ph
