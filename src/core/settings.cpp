#include "core/settings.h"

#include "core/endpoints.h"
#include "core/numbers.h"

#include <algorithm>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

}  // namespace

void TimerFollowsBox(Settings& settings, CheckField box, QTimer& timer) {
  QObject::connect(&settings, &Settings::CheckChanged, &timer,
                   [box, &timer](CheckField field, int value) {
                     if (field != box) return;
                     if (value == 1) {
                       timer.start();
                     } else {
                       timer.stop();
                     }
                   });
}

QString TestTargetUrl(const Endpoints& endpoints, int gtn) {
  switch (gtn) {
    case 0:
      return endpoints.Url(Endpoint::TestSina, u"/iplookup/iplookup.php?format=js&ip="_s);
    case 1:
      return endpoints.Url(Endpoint::TestIp138, u"/ic.asp"_s);
    case 2:
      return endpoints.Url(Endpoint::TestChinaz, u"/getip.aspx"_s);
    case 3:
      return endpoints.Url(Endpoint::TestTaobao, u"/"_s);
    case 4:
      return endpoints.Url(Endpoint::TestBaidu, u"/"_s);
    case 5:
      return endpoints.Url(Endpoint::TestWeibo, u"/"_s);
    default:
      return {};
  }
}

Settings::Settings(const Endpoints& endpoints, QObject* parent)
    : QObject(parent), endpoints_(endpoints) {}

void Settings::SetText(TextField field, const QString& text) {
  if (panel_.*field == text) return;
  panel_.*field = text;
  emit TextChanged(field);
}

void Settings::SetCheck(CheckField field, int value) {
  if (panel_.*field == value) return;
  panel_.*field = value;
  emit CheckChanged(field, value);
}

void Settings::SelectOtn(int index) {
  if (index < 0 || index > 2) return;
  panel_.Otn = index;
  working_.TestHttp = index != 1;
  working_.TestHttps = index != 0;
  PublishProbeSettings();
  emit OtnChanged(index);
}

void Settings::SelectGtn(int index) {
  if (index < 0 || index > 7) return;
  const bool http_group = index <= 2 || index == 7;
  int& selected = http_group ? panel_.GtnHttp : panel_.GtnHttps;
  if (selected == index) return;
  selected = index;
  emit GtnChanged(index);
}

void Settings::ClearPlaceholder(TextField field) {
  const Control& c = ControlOf(field);
  if (c.placeholder == nullptr) return;
  if ((panel_.*field).contains(QStringView(c.placeholder))) SetText(field, QString());
}

int32_t Settings::Whole(TextField field) const { return RoundToInt32(ReadNumber(panel_.*field)); }

void Settings::Choose(IntField choice, int value) {
  if (choice == &SettingsPanel::Otn) {
    SelectOtn(value);
  } else if (choice == &SettingsPanel::GtnHttp || choice == &SettingsPanel::GtnHttps) {
    SelectGtn(value);
  } else {
    SetCheck(choice, value);
  }
}

double Settings::RotateMinPercent() const {
  const QString& own = panel_.Text24.trimmed().isEmpty() ? panel_.Text19 : panel_.Text24;
  return ReadNumber(own);
}

int Settings::ProbesAtOnce() const {
  return On(&SettingsPanel::Check11) ? working_.HighSpeedProbes : working_.TestThreads;
}

Settings::SuccessFilterRule Settings::FilterRule() const {
  return {ReadNumber(panel_.Text18), ReadNumber(panel_.Text19)};
}

bool Settings::Apply() {
  const double threads = ReadNumber(panel_.Text3);
  const Control& range = ControlOf(&SettingsPanel::Text3);
  if (threads < range.low || threads > range.high) return false;
  working_.TestThreads = RoundToInt16(threads);
  const Control& probes = ControlOf(&SettingsPanel::Text20);
  working_.HighSpeedProbes = static_cast<int32_t>(
      std::clamp(RoundHalfEven(ReadNumber(panel_.Text20)), probes.low, probes.high));
  working_.TestTimeoutMs = RoundToInt32(ReadNumber(panel_.Text2));
  working_.HarvestPages = RoundToInt16(ReadNumber(panel_.Text1));
  working_.UpdateIntervalSec = RoundToInt32(ReadNumber(panel_.Text11));
  working_.RetestIntervalSec = RoundToInt32(ReadNumber(panel_.Text13));

  if (panel_.GtnHttp == 7) {
    working_.HttpTestUrl = panel_.Text16;
    working_.HttpMatchText = panel_.Text17;
  } else {
    working_.HttpTestUrl = TestTargetUrl(endpoints_, panel_.GtnHttp);
  }
  if (panel_.GtnHttps == 6) {
    working_.HttpsTestUrl = panel_.Text14;
    working_.HttpsMatchText = panel_.Text15;
  } else {
    working_.HttpsTestUrl = TestTargetUrl(endpoints_, panel_.GtnHttps);
  }
  PublishProbeSettings();
  emit Applied();
  return true;
}

void Settings::EnableHttpTest() {
  working_.TestHttp = true;
  PublishProbeSettings();
}

void Settings::PublishProbeSettings() {
  auto snapshot = std::make_shared<ProbeSettings>();
  snapshot->test_http = working_.TestHttp;
  snapshot->test_https = working_.TestHttps;
  snapshot->timeout_ms = working_.TestTimeoutMs;
  snapshot->http_url = working_.HttpTestUrl;
  snapshot->http_match_text = working_.HttpMatchText;
  snapshot->https_url = working_.HttpsTestUrl;
  snapshot->https_match_text = working_.HttpsMatchText;
  probe_slot_->Publish(std::move(snapshot));
}

}  // namespace ph
