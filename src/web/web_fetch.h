#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

namespace ph {

enum class FetchMode {
  DeclaredCharset = 1,  // the body decoded by the charset the response declares
  GbkBytes = 3,         // the raw body read as GBK byte pairs (pages that do not say)
};

// No page the program reads is larger; a bigger answer fails like any failed fetch.
inline constexpr qint64 kMostPageBytes = 4 * 1024 * 1024;
inline constexpr int kFetchTimeoutMs = 30000;

// A plain GET through the desktop's proxy settings. done gets the body of any complete HTTP
// answer (error pages too), or "" when the fetch fails, takes longer than timeout_ms or
// brings more than kMostPageBytes. It is called exactly once, later, from the event loop of
// the window's thread, unless context is given and destroyed first. Window's thread only.
void FetchAsync(const QString& url, FetchMode mode, int timeout_ms, const QObject* context,
                std::function<void(const QString& text)> done);

// What a fetch of raw bytes brought.
struct FetchedBody {
  bool ok = false;  // a complete HTTP answer (error pages too), or a long one cut
  int status = 0;   // its HTTP status
  QByteArray content_type;
  QByteArray bytes;  // the body, or its first max_bytes when cut
  bool cut = false;  // the body was longer than max_bytes
};

// FetchAsync for a body that is used as far as it goes: the raw bytes, and a body longer
// than max_bytes is cut there instead of failing. done is called as FetchAsync's is.
void FetchBytesAsync(const QString& url, int timeout_ms, qint64 max_bytes, const QObject* context,
                     std::function<void(const FetchedBody& body)> done);

}  // namespace ph
