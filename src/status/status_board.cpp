#include "status/status_board.h"

#include "core/app_state.h"
#include "harvest/harvest_control.h"

#include <QDateTime>

namespace ph {
StatusBoard::StatusBoard(const AppState& state, StatusFeeds feeds, QObject* parent)
    : QObject(parent),
      state_(state),
      feeds_(std::move(feeds)),
      tally_(state.List()),
      jobs_(state.StatusBar()),
      started_ms_(QDateTime::currentMSecsSinceEpoch()) {
  if (const HarvestControl* harvest = feeds_.harvest) {
    connect(harvest, &HarvestControl::SourceStarted, this,
            [this](const QString& name) { harvest_source_ = name; });
    connect(harvest, &HarvestControl::Ended, this, [this] { harvest_source_.clear(); });
    connect(harvest, &HarvestControl::ListSourceRead, this,
            [this](const ListSourceOutcome& outcome) {
              sources_.Note(outcome, QDateTime::currentMSecsSinceEpoch());
            });
  }
}

std::optional<QString> StatusBoard::HealthProblem() const {
  return feeds_.health ? feeds_.health() : std::nullopt;
}

}  // namespace ph
