#pragma once

#include "core/probe_settings.h"

#include <curl/curl.h>

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

namespace ph {

class AnonymityJudge;

// Tests one proxy: fetches the HTTP and/or HTTPS test page through it and returns one result
// record ("lvid=..;suc=..;...;errnum=..;") for the row lvid. Blocks the calling thread; safe
// on any thread once curl_global_init has run. A request takes at most three times the
// time-out (see CurlGet). Once keep_going turns false the probe ends within about 50 ms and
// returns "": it found nothing out. With a judge, a proxy that passed is also judged and its
// anonymity level goes into the record.
std::string ProbeProxy(const QString& address, int64_t lvid, const ProbeSettings& settings,
                       const std::atomic<bool>* keep_going = nullptr,
                       AnonymityJudge* judge = nullptr);

// Sets the options every probe's handle has, and the proxy when the address has a ":";
// false when libcurl refuses one.
bool SetUpProbeHandle(CURL* handle, const QString& address);

// The text a response must contain, chosen by the words in the test URL.
QString HttpMatchTextFor(const QString& url, const QString& custom);
QString HttpsMatchTextFor(const QString& url, const QString& custom);

}  // namespace ph
