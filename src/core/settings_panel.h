#pragma once

#include <QString>

#include <cstdint>

namespace ph {

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
  QString Text20 = QStringLiteral("2000");           // HighSpeedProbes
  QString Text21 = QStringLiteral("8899");           // RotatePort
  QString Text22 = QStringLiteral("127.0.0.1");      // RotateAddress
  QString Text23;                                    // RotatePassword
  QString Text24;    // RotateMinSuccessPct ("": FilterMinSuccessPct)
  QString Text25 = QStringLiteral("9090");       // StatusPort
  QString Text26 = QStringLiteral("127.0.0.1");  // StatusAddress
  QString Text27;  // StatusPassword ("": ApiPassword when StatusAddress is not loopback)
  int Check1 = 1;    // SourceXiciHigh
  int Check2 = 0;    // SourceXiciNormal
  int Check3 = 1;    // Source66ip
  int Check4 = 0;    // AutoRetest
  int Check5 = 0;    // AutoUpdate
  int Check6 = 0;    // SourceXiciHighForeign
  int Check7 = 0;    // SourceXiciNormalForeign
  int Check8 = 0;    // FilterBySuccess
  int Check9 = 1;    // SourceLists
  int Check10 = 0;   // CheckAnonymity
  int Check11 = 0;   // HighSpeed
  int Check12 = 0;   // RotateOn
  int Check13 = 0;   // StatusOn
  int Otn = 0;       // TestMode: 0 "Http", 1 "Https", 2 "Http + Https"
  int GtnHttp = 1;   // HttpTarget: Gtn(0) Sina, Gtn(1) IP138, Gtn(2) Chinaz, Gtn(7) custom
  int GtnHttps = 4;  // HttpsTarget: Gtn(3) Taobao, Gtn(4) Baidu, Gtn(5) Weibo, Gtn(6) custom
  int Rtn = 0;       // RotateStrategy: 0 random, 1 round-robin, 2 fastest, 3 sticky

  // How long another instance waits before it takes over entries this one claimed in a
  // shared run; a server setting without a field in the window.
  QString LeaseSec = QStringLiteral("60");  // LeaseSec
};

// Values copied out of the panel by ApplySettings (or by a TestMode selection).
struct WorkingValues {
  int16_t TestThreads = 0;
  int32_t HighSpeedProbes = 0;  // probes at once while HighSpeed is ticked
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

}  // namespace ph
