#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

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
  std::string error;  // libcurl's description when code is not CURLE_OK
  QString text;       // body decoded by its declared charset (UTF-8 when undeclared)
};

// Runs one GET of url on the handle. Resolving and connecting are bounded by the handle's
// connect time-out; once connected, every wait for data is bounded by timeout_ms, so a peer
// that accepts and then stays silent ends the request after about timeout_ms.
CurlResponse CurlGet(CURL* handle, const QString& url, long timeout_ms);

}  // namespace ph
