#include "core/settings.h"

#include "core/endpoints.h"
#include "core/numbers.h"

#include <algorithm>
#include <array>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

constexpr std::array<TextControl, 16> kTextControls{{
    {"Text1"_L1, &SettingsPanel::Text1, 4, nullptr},
    {"Text2"_L1, &SettingsPanel::Text2, 4, nullptr},
    {"Text3"_L1, &SettingsPanel::Text3, 3, nullptr},
    {"Text7"_L1, &SettingsPanel::Text7, 4, nullptr},
    {"Text8"_L1, &SettingsPanel::Text8, 5, nullptr},
    {"Text9"_L1, &SettingsPanel::Text9, 0, nullptr},
    {"Text10"_L1, &SettingsPanel::Text10, 0, nullptr},
    {"Text11"_L1, &SettingsPanel::Text11, 4, nullptr},
    {"Text12"_L1, &SettingsPanel::Text12, 6, nullptr},
    {"Text13"_L1, &SettingsPanel::Text13, 6, nullptr},
    {"Text14"_L1, &SettingsPanel::Text14, 0, u"输入自定义URL"},
    {"Text15"_L1, &SettingsPanel::Text15, 0, u"特征字符"},
    {"Text16"_L1, &SettingsPanel::Text16, 0, u"输入自定义URL"},
    {"Text17"_L1, &SettingsPanel::Text17, 0, u"特征字符"},
    {"Text18"_L1, &SettingsPanel::Text18, 6, nullptr},
    {"Text19"_L1, &SettingsPanel::Text19, 6, nullptr},
}};

constexpr std::array<CheckControl, 10> kCheckControls{{
    {"Check1"_L1, &SettingsPanel::Check1},
    {"Check2"_L1, &SettingsPanel::Check2},
    {"Check3"_L1, &SettingsPanel::Check3},
    {"Check4"_L1, &SettingsPanel::Check4},
    {"Check5"_L1, &SettingsPanel::Check5},
    {"Check6"_L1, &SettingsPanel::Check6},
    {"Check7"_L1, &SettingsPanel::Check7},
    {"Check8"_L1, &SettingsPanel::Check8},
    {"Check9"_L1, &SettingsPanel::Check9},
    {"Check10"_L1, &SettingsPanel::Check10},
}};

const TextControl* FindText(QString SettingsPanel::*field) {
  const auto it = std::find_if(kTextControls.begin(), kTextControls.end(),
                               [&](const TextControl& c) { return c.field == field; });
  return it == kTextControls.end() ? nullptr : &*it;
}

}  // namespace

std::span<const TextControl> TextControls() { return kTextControls; }
std::span<const CheckControl> CheckControls() { return kCheckControls; }

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

void Settings::SetText(QString SettingsPanel::*field, const QString& text) {
  if (panel_.*field == text) return;
  panel_.*field = text;
  emit TextChanged(field);
}

void Settings::SetCheck(int SettingsPanel::*field, int value) {
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

void Settings::ClearPlaceholder(QString SettingsPanel::*field) {
  const TextControl* c = FindText(field);
  if (c == nullptr || c->placeholder == nullptr) return;
  if ((panel_.*field).contains(QStringView(c->placeholder))) SetText(field, QString());
}

bool Settings::Apply() {
  const double threads = ReadNumber(panel_.Text3);
  if (threads < 1 || threads > 100) return false;
  working_.TestThreads = RoundToInt16(threads);
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
