#include "app/config_file.h"

#include "core/endpoints.h"
#include "core/settings.h"

#include <gtest/gtest.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

TEST(ConfigFile, TakesWhatThePanelTakes) {
  const ConfigFile config = ParseConfig(
      u"# comment\r\n; another\r\n[ProxyHarvest]\r\n\r\n Text3 = 50 \r\nText10=Secret Key\r\n"
      u"Check5=1\r\nOtn=2\r\nGtnHttp=7\r\nText16=http://mine.test/?a=1\r\nText1=-3\r\n"_s);
  EXPECT_TRUE(config.problems.isEmpty()) << config.problems.join(u'|').toStdString();
  Endpoints endpoints;
  Settings settings(endpoints);
  ApplyConfig(config, settings);
  EXPECT_EQ(settings.Panel().Text3, u"50"_s);
  EXPECT_EQ(settings.Panel().Text10, u"Secret Key"_s);
  EXPECT_EQ(settings.Panel().Check5, 1);
  EXPECT_EQ(settings.Panel().Otn, 2);
  EXPECT_TRUE(settings.Working().TestHttps);  // a validation type takes effect at once
  EXPECT_EQ(settings.Panel().GtnHttp, 7);
  EXPECT_EQ(settings.Panel().Text16, u"http://mine.test/?a=1"_s);
  EXPECT_EQ(settings.Panel().Text1, u"-3"_s);
}

TEST(ConfigFile, RefusesEachBadLineWithItsNumberKeyAndReason) {
  const struct {
    QString line;
    QString problem;
  } cases[] = {
      {u"Bogus=1"_s, u"第 1 行: Bogus: 未知的设置项"_s},
      {u"Text9=x"_s, u"第 1 行: Text9: 未知的设置项"_s},  // shows, never set
      {u"Text3=0"_s, u"第 1 行: Text3: 应在 1 到 100 之间"_s},
      {u"Text3=abc"_s, u"第 1 行: Text3: 不是数字"_s},
      {u"Text8=123456"_s, u"第 1 行: Text8: 超过 5 个字符"_s},
      {u"Text8=70000"_s, u"第 1 行: Text8: 应在 1 到 65535 之间"_s},
      {u"Text8=0"_s, u"第 1 行: Text8: 应在 1 到 65535 之间"_s},
      {u"Text2=5000ms"_s, u"第 1 行: Text2: 超过 4 个字符"_s},
      {u"Text11=1e3"_s, u"第 1 行: Text11: 不是数字"_s},
      {u"Check1=2"_s, u"第 1 行: Check1: 应为 0 或 1"_s},
      {u"Otn=3"_s, u"第 1 行: Otn: 应为 0, 1, 2 之一"_s},
      {u"GtnHttps=1"_s, u"第 1 行: GtnHttps: 应为 3, 4, 5, 6 之一"_s},
      {u"just words"_s, u"第 1 行: just words: 不是 键=值"_s},
  };
  for (const auto& c : cases) {
    const ConfigFile config = ParseConfig(c.line);
    EXPECT_EQ(config.problems, QStringList({c.problem})) << c.line.toStdString();
    EXPECT_TRUE(config.values.empty());
  }
  EXPECT_EQ(ParseConfig(u"Text1=5\nText1=6\n"_s).problems,
            QStringList({u"第 2 行: Text1: 重复的设置项"_s}));
}

TEST(ConfigFile, TheDefaultsReadBackAsTheDefaults) {
  Endpoints endpoints;
  Settings defaults(endpoints);
  const QString text = DefaultConfigText(defaults);
  const ConfigFile config = ParseConfig(text);
  EXPECT_TRUE(config.problems.isEmpty()) << config.problems.join(u'|').toStdString();
  Settings read(endpoints);
  ApplyConfig(config, read);
  for (const Control& control : Controls()) {
    if (control.kind == Control::Kind::kText)
      EXPECT_EQ(read.Panel().*control.text, defaults.Panel().*control.text) << control.name.data();
    else
      EXPECT_EQ(read.Panel().*control.value, defaults.Panel().*control.value)
          << control.name.data();
  }
  // GBK files are read too.
  EXPECT_EQ(ConfigFileText(QByteArray("Text10=\xd6\xd0\xce\xc4")), u"Text10=中文"_s);
  EXPECT_EQ(ConfigFileText(QByteArray("\xef\xbb\xbfText10=中文")), u"Text10=中文"_s);
}

}  // namespace
}  // namespace ph
