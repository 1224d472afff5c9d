#pragma once

#include "core/probe_settings.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>

namespace ph {

class Endpoints;

// The fields of the settings panel as the user sees them: texts as typed, check boxes 0/1
// (2 = grey), and the selected option of each option group. Defaults are the start-up values.
struct SettingsPanel {
  QString Text1 = QStringLiteral("5");               // HarvestPages
  QString Text2 = QStringLiteral("5000");            // TestTimeoutMs
  QString Text3 = QStringLiteral("100");             // TestThreads
  QString Text7 = QStringLiteral("1000");            // HarvestDelayMs
  QString Text8 = QStringLiteral("8888");            // ApiPort
  QString Text9 = QStringLiteral("Ip ifms");         // ApiAddressInfo
  QString Text10 = QStringLiteral("UseKey");         // ApiPassword
  QString Text11 = QStringLiteral("300");            // UpdateIntervalSec
  QString Text12 = QStringLiteral("0");              // ListRowLimit
  QString Text13 = QStringLiteral("600");            // RetestIntervalSec
  QString Text14 = QStringLiteral("输入自定义URL");  // HttpsCustomUrl
  QString Text15 = QStringLiteral("特征字符");       // HttpsCustomText
  QString Text16 = QStringLiteral("输入自定义URL");  // HttpCustomUrl
  QString Text17 = QStringLiteral("特征字符");       // HttpCustomText
  QString Text18 = QStringLiteral("3");              // FilterMinTests
  QString Text19 = QStringLiteral("50");             // FilterMinSuccessPct
  int Check1 = 1;                                    // SourceXiciHigh
  int Check2 = 0;                                    // SourceXiciNormal
  int Check3 = 1;                                    // Source66ip
  int Check4 = 0;                                    // AutoRetest
  int Check5 = 0;                                    // AutoUpdate
  int Check6 = 0;                                    // SourceXiciHighForeign
  int Check7 = 0;                                    // SourceXiciNormalForeign
  int Check8 = 0;                                    // FilterBySuccess
  int Check9 = 0;                                    // SourceLists
  int Check10 = 0;                                   // CheckAnonymity
  int Otn = 0;       // TestMode: 0 "Http", 1 "Https", 2 "Http + Https"
  int GtnHttp = 1;   // HttpTarget: Gtn(0) Sina, Gtn(1) IP138, Gtn(2) Chinaz, Gtn(7) custom
  int GtnHttps = 4;  // HttpsTarget: Gtn(3) Taobao, Gtn(4) Baidu, Gtn(5) Weibo, Gtn(6) custom
};

// Values copied out of the panel by ApplySettings (or by a TestMode selection).
struct WorkingValues {
  int16_t TestThreads = 0;
  int32_t TestTimeoutMs = 0;
  int16_t HarvestPages = 0;
  int32_t UpdateIntervalSec = 0;
  int32_t RetestIntervalSec = 0;
  bool TestHttp = false;
  bool TestHttps = false;
  QString HttpTestUrl;
  QString HttpMatchText;
  QString HttpsTestUrl;
  QString HttpsMatchText;
};

// A field of the panel, by member: what a change signal carries.
using TextField = QString SettingsPanel::*;
using CheckField = int SettingsPanel::*;

struct TextControl {
  QLatin1StringView name;
  TextField field;
  int max_length;               // what typing accepts; 0 = unlimited
  const char16_t* placeholder;  // emptied by a click into the field holding it; may be null
};

struct CheckControl {
  QLatin1StringView name;
  CheckField field;
};

std::span<const TextControl> TextControls();
std::span<const CheckControl> CheckControls();

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

  // A click into a custom-target field empties it while it holds its placeholder.
  void ClearPlaceholder(TextField field);

  // Copies the panel into the working values. False (and nothing changed) when the
  // thread count is outside 1 to 100.
  bool Apply();

  // Start-up default of the HTTP switch, matching the default option Otn(0).
  void EnableHttpTest();

 signals:
  void TextChanged(ph::TextField field);
  void CheckChanged(ph::CheckField field, int value);
  void OtnChanged(int index);
  void GtnChanged(int index);

 private:
  void PublishProbeSettings();

  const Endpoints& endpoints_;
  SettingsPanel panel_;
  WorkingValues working_;
  std::shared_ptr<ProbeSettingsSlot> probe_slot_ = std::make_shared<ProbeSettingsSlot>();
};

}  // namespace ph
