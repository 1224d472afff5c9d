#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace ph {

// The bytes of one request, collected over as many arrivals as the client needs: the header
// block up to its blank line and, when it names a Content-Length, that many body bytes.
class RequestCollector {
 public:
  enum class State { Incomplete, Complete, TooLong };

  // No request of this API is near this size; past it the request is ignored.
  static constexpr qsizetype kMostBytes = 8 * 1024;

  // Adds an arrival; once the request is complete or too long, later bytes are not kept.
  State Add(QByteArrayView bytes);
  // The complete request; the collector starts again empty.
  QByteArray Take();

 private:
  QByteArray bytes_;
  State state_ = State::Incomplete;
};

// What a request asks, once decoded and checked.
struct ApiRequest {
  enum class Kind {
    kIgnore,    // not for us, too long, or the wrong password: no answer, connection kept
    kFail,      // malformed: closed without an answer
    kDispatch,  // elements e0..en for the command table
  };
  Kind kind = Kind::kIgnore;
  QStringList elements;
};

// Reads a complete request the way the API always has: the bytes as GBK, percent-decoded and
// lower-cased as a whole; at most 512 characters; the query after "/api.zx?" up to the end of
// the request line (GET) or the body after the blank line (POST); the password followed by
// "&" somewhere in it, without regard to case; split at every "&".
ApiRequest ParseApiRequest(QByteArrayView bytes, const QString& password);

// The answer on the wire: the status line, the two headers and the body.
QByteArray ApiResponse(const QString& body);

}  // namespace ph
