#pragma once

#include "core/failure_phase.h"
#include "core/probe_settings.h"
#include "validate/result_record.h"

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <array>

namespace ph {

// What a probe of one proxy is: the HTTP and/or HTTPS test page fetched through the proxy,
// one after the other, each judged by a piece of text the page must contain; the position of
// that text in the last page fetched is the result. A proxy that passes may then be asked for
// the judge page, for its anonymity level. The probe engine runs probes; this says what they do.

// The text a response must contain, chosen by the words in the test URL.
QString HttpMatchTextFor(const QString& url, const QString& custom);
QString HttpsMatchTextFor(const QString& url, const QString& custom);

// One page of a probe.
struct ProbeLeg {
  QByteArray url;  // as it goes on the wire
  QString match;
  bool ProbeOutcome::*done;  // http or https
};

// The pages a probe fetches with these settings, in order: HTTP first, then HTTPS.
struct ProbePlan {
  std::array<ProbeLeg, 2> legs;
  int count = 0;
};
ProbePlan PlanProbe(const ProbeSettings& settings);

// Sets the options every request of a probe has, and the proxy when the address has a ":";
// false when libcurl refuses one. A SOCKS5 proxy is asked to resolve the test host, as an
// HTTP proxy does.
bool SetUpProbeHandle(CURL* handle, const QString& address);
// The same without any proxy, not even one from the environment: for the judge's direct
// answer.
bool SetUpDirectHandle(CURL* handle);

// The 1-based position of the match text in the page, 0 when absent; an empty match text
// matches any non-empty page.
int MatchPosition(const QString& page, const QString& match);

// A URL as it goes on the wire: non-ASCII in a user's URL percent-encoded as UTF-8, as a
// browser would send it.
QByteArray WireUrl(const QString& url);

}  // namespace ph
