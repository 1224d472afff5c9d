// The status listener's reading of a connection's bytes: heads one after another as they
// come, each parsed and answered as a connection does, with and without a password. Whatever
// comes, every answer is whole HTTP with the length it says, and nothing fails hard.
#include "app/application.h"
#include "core/proxy_list.h"
#include "rotate/http_message.h"
#include "status/status_connection.h"
#include "status/status_routes.h"

#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void ExpectWhole(const QByteArray& response, bool head_only) {
  const qsizetype end = response.indexOf("\r\n\r\n");
  if (!response.startsWith("HTTP/1.1 ") || end < 0) std::abort();
  const qsizetype at = response.indexOf("Content-Length: ");
  if (at < 0 || at > end) std::abort();
  const qsizetype length = response.mid(at + 16, response.indexOf('\r', at) - at - 16).toLongLong();
  if (!head_only && response.size() - end - 4 != length) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ph::fuzz::EnsureApplication();
  static ph::Application application(ph::ProgramDir(ph::fuzz::Scratch().path()));
  ph::AppState& state = application.State();
  if (state.List().RowCount() == 0) {
    state.List().AppendRow({QStringLiteral("1.1.1.1:80"), QStringLiteral("北京 \"电信\"")});
    state.List().AppendRow({QStringLiteral("socks5://2.2.2.2:1080")});
  }
  const ph::StatusBoard& board = application.StatusService().Board();
  QByteArray buffer(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  buffer.truncate(ph::StatusConnection::kMostHeadBytes);
  for (int served = 0; served < ph::StatusConnection::kMostRequests; ++served) {
    const std::size_t length = ph::HeadLength(
        std::string_view(buffer.constData(), static_cast<std::size_t>(buffer.size())));
    if (length == 0) break;
    const QByteArray head = buffer.left(static_cast<qsizetype>(length));
    buffer.remove(0, static_cast<qsizetype>(length));
    const std::optional<ph::HttpHead> parsed = ph::ParseHttpHead(head);
    if (!parsed) {
      ExpectWhole(ph::ResponseBytes(ph::Refusal(400), false, false), false);
      break;
    }
    for (const QString& password : {QString(), QStringLiteral("秘密")}) {
      const ph::HttpAnswer answer = ph::StatusAnswer(board, *parsed, password);
      const bool head_only = parsed->method == "HEAD";
      ExpectWhole(ph::ResponseBytes(answer, head_only, parsed->keep_alive), head_only);
    }
  }
  return 0;
}
