#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <string>

namespace ph {

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// Outcome of one GET on a prepared handle.
struct CurlResponse {
  CURLcode code = CURLE_OK;
  std::string error;     // libcurl's description when code is not CURLE_OK
  QString text;          // body decoded by its declared charset (UTF-8 when undeclared)
  bool stopped = false;  // cut off because keep_going was cleared
};

// Runs one GET of url on the handle, with T = timeout_ms:
// - resolving, connecting and any proxy tunnel take at most T;
// - once connected, no wait for the next byte lasts longer than T (a silent peer), and the
//   whole answer must be in within 2 T (a peer that trickles its bytes).
// So one request takes at most 3 T. When keep_going is given and becomes false, the request
// ends within about 50 ms, marked stopped.
CurlResponse CurlGet(CURL* handle, const QString& url, long timeout_ms,
                     const std::atomic<bool>* keep_going = nullptr);

}  // namespace ph
