#include "commands/location_commands.h"

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "iploc/ip_location.h"

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

bool OnlyBlanks(QStringView text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

}  // namespace

void CheckAddresses(AppState& state) {
  ProxyList& list = state.List();
  // Window events run during web lookups and may change the list; it is re-read every row.
  for (int row = 1; row <= list.RowCount(); ++row) {
    if (!OnlyBlanks(list.CellText(row, kRegion))) continue;
    const QString address = list.CellText(row, kAddress);
    const qsizetype colon = address.indexOf(u':');
    if (colon < 0) continue;
    list.SetCellText(row, kRegion,
                     LookupIpLocation(address.left(colon), state.Dir(), state.EndpointTable()));
  }
  state.StatusBar().SetText(u"数据验证完成..."_s);
}

void ShowExternalAddress(AppState& state) {
  const Endpoints& endpoints = state.EndpointTable();
  QString location;
  QString coordinates;
  const QString external = QueryIpInfo({}, 0, location, coordinates, endpoints);
  const QString where = QueryIpInfo(external, 0, location, coordinates, endpoints);
  state.Config().SetText(&SettingsPanel::Text9, external + u' ' + where);
}

}  // namespace ph
