#include "commands/location_commands.h"

#include "core/app_state.h"
#include "iploc/ip_location.h"
#include "iploc/region_fill.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

void CheckAddresses(AppState& state) {
  auto* fill = new RegionFill(state.List(), state.Dir(), state.EndpointTable(), &state);
  fill->Start([&state, fill] {
    state.StatusBar().SetText(u"数据验证完成..."_s);
    fill->deleteLater();
  });
}

void ShowExternalAddress(AppState& state) {
  const Endpoints& endpoints = state.EndpointTable();
  QueryExternalAddress(endpoints, &state, [&state, &endpoints](const QString& external) {
    QueryIpInfo(external, endpoints, &state, [&state, external](const QString& where) {
      state.Config().SetText(&SettingsPanel::Text9, external + u' ' + where);
    });
  });
}

}  // namespace ph
