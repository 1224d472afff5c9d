#include "harvest/harvest_control.h"

#include "core/app_state.h"

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

HarvestControl::HarvestControl(AppState& state, QObject* parent) : QObject(parent), state_(state) {}

void HarvestControl::StopHarvest() {
  harvest_running_ = false;
  state_.StatusBar().SetMenuItemVisible(MenuItem::StopGet, false);
  state_.StatusBar().SetText(u"停止采集..."_s);
}

}  // namespace ph
