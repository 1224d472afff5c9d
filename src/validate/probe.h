#pragma once

#include "core/probe_settings.h"

#include <QString>

#include <string>

namespace ph {

// Tests one proxy: fetches the HTTP and/or HTTPS test page through it and returns one result
// record ("lvid=..;suc=..;...;errnum=..;"). Blocks the calling thread; safe on any thread
// once curl_global_init has run.
std::string ProbeProxy(const QString& address, int row, const ProbeSettings& settings);

// The text a response must contain, chosen by the words in the test URL.
QString HttpMatchTextFor(const QString& url, const QString& custom);
QString HttpsMatchTextFor(const QString& url, const QString& custom);

}  // namespace ph
