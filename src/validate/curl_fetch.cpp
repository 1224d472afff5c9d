#include "validate/curl_fetch.h"

#include "core/gbk.h"

#include <QUrl>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace ph {
namespace {

using Clock = std::chrono::steady_clock;

// A test page is kilobytes. A larger answer fails the probe, so a peer that streams
// without end holds no worker for ever, and thousands of probes in flight through hostile
// proxies hold at most this much each (and its decoded text).
constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
// A non-positive time-out means no limit of the user's; this still ends a dead peer.
constexpr long kUnlimitedWaitMs = 300000;

// How often a transfer looks at its stop signal.
constexpr int kStopCheckMs = 50;

struct TransferState {
  std::string body;
  Clock::time_point last_activity;
  Clock::time_point connected_at;
  bool connected = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  const std::size_t bytes = size * count;
  state->last_activity = Clock::now();
  if (state->body.size() + bytes > kMaxBodyBytes) return 0;
  state->body.append(data, bytes);
  return bytes;
}

std::size_t OnHeader(char*, std::size_t size, std::size_t count, void* user) {
  static_cast<TransferState*>(user)->last_activity = Clock::now();
  return size * count;
}

// Called once the connection (and any proxy tunnel) stands, right before the request goes out.
int OnConnected(void* user, char*, char*, int, int) {
  auto* state = static_cast<TransferState*>(user);
  state->last_activity = Clock::now();
  // A redirect connects again; the whole answer still counts from the first connection.
  if (!state->connected) state->connected_at = state->last_activity;
  state->connected = true;
  return CURL_PREREQFUNC_OK;
}

QByteArray EncodedUrl(const QString& url) {
  // Non-ASCII in a user's URL goes out percent-encoded as UTF-8, as a browser would send it.
  for (const QChar c : url)
    if (c.unicode() > 0x7E || c.unicode() < 0x21) return QUrl(url).toEncoded();
  return url.toLatin1();
}

struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

CurlResponse TimedOut(long long elapsed_ms, std::size_t bytes, const char* what) {
  CurlResponse response;
  response.code = CURLE_OPERATION_TIMEDOUT;
  std::array<char, 128> text{};
  std::snprintf(text.data(), text.size(),
                "Operation timed out after %lld milliseconds %s with %zu bytes received",
                elapsed_ms, what, bytes);
  response.error = text.data();
  return response;
}

long long MsSince(Clock::time_point then) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - then).count();
}

}  // namespace

CurlResponse CurlGet(CURL* handle, const QString& url, long timeout_ms,
                     const std::atomic<bool>* keep_going) {
  const long limit_ms = timeout_ms > 0 ? timeout_ms : kUnlimitedWaitMs;
  TransferState state;
  std::array<char, CURL_ERROR_SIZE> error_buffer{};
  const QByteArray encoded_url = EncodedUrl(url);

  curl_easy_setopt(handle, CURLOPT_URL, encoded_url.constData());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limit_ms);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_buffer.data());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &OnConnected);
  curl_easy_setopt(handle, CURLOPT_PREREQDATA, &state);

  CurlResponse response;
  std::unique_ptr<CURLM, CurlMultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK) {
    response.code = CURLE_OUT_OF_MEMORY;
    response.error = "curl_multi_init failed";
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
    return response;
  }

  bool done = false;
  while (!done) {
    int running = 0;
    const CURLMcode multi_code = curl_multi_perform(multi.get(), &running);
    if (multi_code != CURLM_OK) {
      response.code = CURLE_RECV_ERROR;
      response.error = curl_multi_strerror(multi_code);
      break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) {
        response.code = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;

    if (keep_going != nullptr && !*keep_going) {
      response.code = CURLE_ABORTED_BY_CALLBACK;
      response.error = "stopped";
      response.stopped = true;
      break;
    }
    long long wait_ms = keep_going != nullptr ? kStopCheckMs : 1000;
    if (state.connected) {
      const long long idle_ms = MsSince(state.last_activity);
      const long long answering_ms = MsSince(state.connected_at);
      if (idle_ms >= limit_ms || answering_ms >= 2 * limit_ms) {
        response = TimedOut(answering_ms, state.body.size(),
                            idle_ms >= limit_ms ? "without data" : "for the whole answer");
        break;
      }
      wait_ms = std::min({wait_ms, limit_ms - idle_ms, 2 * limit_ms - answering_ms});
    }
    curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait_ms), nullptr);
  }
  curl_multi_remove_handle(multi.get(), handle);

  if (response.code != CURLE_OK && response.error.empty())
    response.error =
        error_buffer[0] != '\0' ? error_buffer.data() : curl_easy_strerror(response.code);
  if (response.code == CURLE_OK) {
    const char* content_type = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &content_type);
    response.text = DecodeDeclaredCharset(
        QByteArrayView(state.body.data(), static_cast<qsizetype>(state.body.size())),
        QByteArrayView(content_type ? content_type : ""));
  }
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
  return response;
}

}  // namespace ph
