#pragma once

#include "core/probe_settings.h"
#include "core/settings_controls.h"
#include "core/settings_panel.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace ph {

class Endpoints;

// URL of a built-in test target, Gtn(0) to Gtn(5); empty for the custom options.
QString TestTargetUrl(const Endpoints& endpoints, int gtn);

// The one owner of the settings panel's state and the working values. Lives on the window's
// thread; worker threads only read the published probe snapshot.
class Settings : public QObject {
  Q_OBJECT

 public:
  explicit Settings(const Endpoints& endpoints, QObject* parent = nullptr);

  const SettingsPanel& Panel() const { return panel_; }
  const WorkingValues& Working() const { return working_; }
  std::shared_ptr<const ProbeSettingsSlot> ProbeSlot() const { return probe_slot_; }

  // Writes as a user's edit or a programmatic change; widgets follow through the signals.
  void SetText(TextField field, const QString& text);
  void SetCheck(CheckField field, int value);
  void SelectOtn(int index);  // takes effect at once
  void SelectGtn(int index);  // 0..7; takes effect with the next Apply
  // Any choice of the panel (Otn, GtnHttp, GtnHttps, Rtn) by its control, as a click would.
  void Choose(IntField choice, int value);

  // A click into a custom-target field empties it while it holds its placeholder.
  void ClearPlaceholder(TextField field);

  // Copies the panel into the working values. False (and nothing changed) when the
  // thread count is outside 1 to 100.
  bool Apply();

  // Start-up default of the HTTP switch, matching the default option Otn(0).
  void EnableHttpTest();

  // What the panel says now, for the code that acts on it.
  bool On(CheckField box) const { return panel_.*box == 1; }
  // A number field as it reads now, rounded to a whole number.
  int32_t Whole(TextField field) const;
  // The success filter: rows tested at least min_tests times whose ratio stays below
  // min_percent go when a run completes, while the filter is on.
  struct SuccessFilterRule {
    double min_tests = 0;
    double min_percent = 0;
  };
  SuccessFilterRule FilterRule() const;
  // How many probes a validation run keeps under way: TestThreads, or with 高速验证 ticked
  // the 并发数 as last applied.
  int ProbesAtOnce() const;
  // The rotating port's pool takes rows reaching this success ratio: its own minimum, or
  // the success filter's while its own is empty.
  double RotateMinPercent() const;

 signals:
  void TextChanged(ph::TextField field);
  void CheckChanged(ph::CheckField field, int value);
  void OtnChanged(int index);
  void GtnChanged(int index);
  // ApplySettings took the panel.
  void Applied();

 private:
  void PublishProbeSettings();

  const Endpoints& endpoints_;
  SettingsPanel panel_;
  WorkingValues working_;
  std::shared_ptr<ProbeSettingsSlot> probe_slot_ = std::make_shared<ProbeSettingsSlot>();
};

// Ticking the box switches the timer on, unticking it off; whatever the timer counts is kept
// either way.
void TimerFollowsBox(Settings& settings, CheckField box, QTimer& timer);

}  // namespace ph
