#include "validate/probe.h"

#include "validate/curl_fetch.h"
#include "validate/judge.h"
#include "validate/result_record.h"

#include <array>
#include <chrono>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// 1-based position of the match text in the response, 0 when absent.
int MatchPosition(const QString& text, const QString& match) {
  if (match.isEmpty()) return text.isEmpty() ? 0 : 1;
  return static_cast<int>(text.indexOf(match)) + 1;
}

// The proxy as libcurl takes it; socks4:// and socks5:// it speaks itself. A SOCKS5 proxy is
// asked to resolve the test host, as an HTTP proxy does, so a probe never waits for a name
// lookup of its own.
QByteArray CurlProxy(const QString& address) {
  if (address.startsWith("socks5://"_L1)) return "socks5h://" + address.mid(9).toUtf8();
  return address.toUtf8();
}

}  // namespace

bool SetUpProbeHandle(CURL* handle, const QString& address) {
  bool ok = curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_USERAGENT,
                              "Mozilla/5.0 (compatible; ProxyHarvest/" PH_VERSION ")") == CURLE_OK;
  // Without ":" no proxy is set and the page is fetched over the default connection.
  if (address.contains(u':'))
    ok = ok && curl_easy_setopt(handle, CURLOPT_PROXY, CurlProxy(address).constData()) == CURLE_OK;
  return ok;
}

QString HttpMatchTextFor(const QString& url, const QString& custom) {
  if (url.contains("sina"_L1)) return u"remote_ip_info"_s;
  if (url.contains("ip138"_L1)) return u"["_s;
  if (url.contains("chinaz"_L1)) return u"address"_s;
  return custom;
}

QString HttpsMatchTextFor(const QString& url, const QString& custom) {
  if (url.contains("baidu"_L1)) return u"<html>"_s;
  if (url.contains("taobao"_L1)) return u"alicdn"_s;
  if (url.contains("weibo"_L1)) return u"<html>"_s;
  return custom;
}

std::string ProbeProxy(const QString& address, int64_t lvid, const ProbeSettings& settings,
                       const std::atomic<bool>* keep_going, AnonymityJudge* judge) {
  ProbeOutcome outcome;
  auto fail = [&](std::string error, long number) {
    outcome.failed = true;
    outcome.error = std::move(error);
    outcome.error_number = number;
    return WriteResultRecord(lvid, outcome);
  };
  if (!settings.test_http && !settings.test_https) return fail("no test selected", -1);

  CurlEasy handle(curl_easy_init());
  if (!handle) return fail("curl_easy_init failed", CURLE_FAILED_INIT);
  if (!SetUpProbeHandle(handle.get(), address))
    return fail("a request option was refused", CURLE_UNKNOWN_OPTION);

  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
  };

  struct Leg {
    bool enabled;
    const QString& url;
    QString match;
    bool ProbeOutcome::*done;
  };
  const std::array<Leg, 2> legs{{
      {settings.test_http, settings.http_url,
       HttpMatchTextFor(settings.http_url, settings.http_match_text), &ProbeOutcome::http},
      {settings.test_https, settings.https_url,
       HttpsMatchTextFor(settings.https_url, settings.https_match_text), &ProbeOutcome::https},
  }};
  for (const Leg& leg : legs) {
    if (!leg.enabled) continue;
    const CurlResponse response = CurlGet(handle.get(), leg.url, settings.timeout_ms, keep_going);
    if (response.stopped) return {};
    if (response.code != CURLE_OK) {
      outcome.elapsed_ms = elapsed();
      return fail(response.error, response.code);
    }
    outcome.*leg.done = true;
    outcome.suc = MatchPosition(response.text, leg.match);
  }

  curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &outcome.status);
  outcome.elapsed_ms = elapsed();
  // Only a proxy that passed is worth judging; the judge's time is not the proxy's time.
  if (judge != nullptr && outcome.suc > 0)
    outcome.anonymity = judge->LevelThrough(handle.get(), settings.timeout_ms, keep_going);
  return WriteResultRecord(lvid, outcome);
}

}  // namespace ph
