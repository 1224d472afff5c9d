#include "validate/probe.h"

#include <QUrl>

#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The proxy as libcurl takes it; socks4:// and socks5:// it speaks itself.
QByteArray CurlProxy(const QString& address) {
  if (address.startsWith("socks5://"_L1)) return "socks5h://" + address.mid(9).toUtf8();
  return address.toUtf8();
}

bool SetCommonOptions(CURL* handle) {
  bool ok = curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_USERAGENT,
                              "Mozilla/5.0 (compatible; ProxyHarvest/" PH_VERSION ")") == CURLE_OK;
  // A probe's connection is its own: a proxy is judged by a connection it made for the
  // probe, and a finished one gives its descriptor back at once.
  ok = ok && curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L) == CURLE_OK;
  // Nor does it look for one to reuse, which with thousands open costs a walk per request.
  ok = ok && curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L) == CURLE_OK;
  // Test pages are small; thousands of transfers in flight each keep only this much. A handle
  // used before keeps the buffer it has (libcurl refuses the size then), which is as good.
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, 4096L);
  return ok;
}

}  // namespace

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

ProbePlan PlanProbe(const ProbeSettings& settings) {
  ProbePlan plan;
  if (settings.test_http)
    plan.legs[static_cast<std::size_t>(plan.count++)] = {
        WireUrl(settings.http_url), HttpMatchTextFor(settings.http_url, settings.http_match_text),
        &ProbeOutcome::http};
  if (settings.test_https)
    plan.legs[static_cast<std::size_t>(plan.count++)] = {
        WireUrl(settings.https_url),
        HttpsMatchTextFor(settings.https_url, settings.https_match_text), &ProbeOutcome::https};
  return plan;
}

bool SetUpProbeHandle(CURL* handle, const QString& address) {
  bool ok = SetCommonOptions(handle);
  // Without ":" no proxy is set and the page is fetched over the default connection.
  if (address.contains(u':'))
    ok = ok && curl_easy_setopt(handle, CURLOPT_PROXY, CurlProxy(address).constData()) == CURLE_OK;
  return ok;
}

bool SetUpDirectHandle(CURL* handle) {
  // Over IPv4, as proxies are reached.
  return SetCommonOptions(handle) && curl_easy_setopt(handle, CURLOPT_PROXY, "") == CURLE_OK &&
         curl_easy_setopt(handle, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4) == CURLE_OK;
}

int MatchPosition(const QString& page, const QString& match) {
  if (match.isEmpty()) return page.isEmpty() ? 0 : 1;
  return static_cast<int>(page.indexOf(match)) + 1;
}

QByteArray WireUrl(const QString& url) {
  for (const QChar c : url)
    if (c.unicode() > 0x7E || c.unicode() < 0x21) return QUrl(url).toEncoded();
  return url.toLatin1();
}

}  // namespace ph
