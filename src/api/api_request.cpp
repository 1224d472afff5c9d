#include "api/api_request.h"

#include "api/url_codec.h"
#include "core/gbk.h"
#include "web/text_helpers.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr qsizetype kMostRequestCharacters = 512;

// The Content-Length the header block names; 0 without one.
qsizetype ContentLength(QByteArrayView head) {
  static constexpr QByteArrayView kName = "content-length:";
  for (QByteArrayView line : QByteArray(head.toByteArray()).split('\n')) {
    line = line.trimmed();
    if (line.size() <= kName.size() ||
        line.first(kName.size()).compare(kName, Qt::CaseInsensitive) != 0)
      continue;
    bool ok = false;
    const qsizetype length = line.sliced(kName.size()).trimmed().toLongLong(&ok);
    return ok && length > 0 ? length : 0;
  }
  return 0;
}

}  // namespace

RequestCollector::State RequestCollector::Add(QByteArrayView bytes) {
  if (state_ != State::Incomplete) return state_;
  bytes_.append(bytes);
  const qsizetype head_end = bytes_.indexOf("\r\n\r\n");
  if (head_end >= 0) {
    const qsizetype body_start = head_end + 4;
    // Compared with what is left of the budget, never added to the start: a declared length
    // near the largest number would overflow the sum.
    const qsizetype length = ContentLength(QByteArrayView(bytes_).first(head_end));
    if (length > kMostBytes - body_start) {
      state_ = State::TooLong;
    } else if (bytes_.size() >= body_start + length) {
      bytes_.truncate(body_start + length);
      state_ = State::Complete;
      return state_;
    }
  }
  if (bytes_.size() > kMostBytes) state_ = State::TooLong;
  if (state_ == State::TooLong) bytes_.clear();
  return state_;
}

QByteArray RequestCollector::Take() {
  state_ = State::Incomplete;
  return std::exchange(bytes_, {});
}

ApiRequest ParseApiRequest(QByteArrayView bytes, const QString& password) {
  ApiRequest result;
  const QString request = UrlDecode(FromGbk(bytes)).toLower();
  if (request.size() > kMostRequestCharacters || !request.contains(u'&')) return result;

  QString query;
  if (request.contains(u"get "_s)) {
    if (!request.contains(u"/api.zx?"_s)) return result;
    const qsizetype start = request.indexOf(u"zx?"_s) + 3;
    if (request.indexOf(u"\r\n"_s, start) < 0) {
      result.kind = ApiRequest::Kind::kFail;
      return result;
    }
    query = TextBetween(request, u"zx?", u"\r\n");
  } else if (request.contains(u"post "_s)) {
    query = TextBetween(request + u"|+|"_s, u"\r\n\r\n", u"|+|");
  } else {
    return result;
  }
  if (!query.contains(password.toLower() + u'&')) return result;
  result.kind = ApiRequest::Kind::kDispatch;
  result.elements = query.split(u'&');
  return result;
}

QByteArray ApiResponse(const QString& body) {
  const QByteArray bytes = ToGbk(body);
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: " +
         QByteArray::number(bytes.size()) + "\r\n\r\n" + bytes;
}

}  // namespace ph
