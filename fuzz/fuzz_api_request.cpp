// The control API's handling of a connection's bytes: collected in arrivals of any size, then
// decoded, checked and dispatched as the listener does; whatever it answers, it never fails
// hard and keeps nothing unbounded.
#include "api/api_commands.h"
#include "api/api_request.h"
#include "app/application.h"
#include "core/proxy_list.h"

#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ph::fuzz::EnsureApplication();
  static ph::Application application(ph::ProgramDir(ph::fuzz::Scratch().path()));
  ph::AppState& state = application.State();
  if (state.List().RowCount() == 0) {
    state.List().AppendRow({QStringLiteral("1.1.1.1:80"), QStringLiteral("北京")});
    state.List().AppendRow({QStringLiteral("socks5://2.2.2.2:1080")});
  }
  const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  // The first byte decides how the rest arrives: in pieces of that many bytes.
  const qsizetype piece = size > 0 ? std::max<qsizetype>(data[0], 1) : 1;
  ph::RequestCollector collector;
  for (qsizetype at = 0; at < bytes.size(); at += piece) {
    if (collector.Add(bytes.sliced(at, std::min(piece, bytes.size() - at))) !=
        ph::RequestCollector::State::Incomplete)
      break;
  }
  const QByteArray request = collector.Take();
  if (request.size() > ph::RequestCollector::kMostBytes) std::abort();
  const ph::ApiRequest parsed = ph::ParseApiRequest(request, QStringLiteral("UseKey"));
  if (parsed.kind != ph::ApiRequest::Kind::kDispatch) return 0;
  // Every command runs on the whole program, but for moving the listener: no port is opened.
  const auto run = [](ph::CommandId id, const ph::CommandArgs& args) {
    return id == ph::CommandId::kMoveApiPort ? ph::CommandResult::Done()
                                             : application.Run(id, args);
  };
  const ph::ApiReply reply = ph::DispatchApiCommand(parsed.elements, run);
  ph::ApiResponse(reply.body);
  return 0;
}
