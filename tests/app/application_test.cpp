#include "app/application.h"

#include "commands/command_table.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <memory>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class ApplicationTest : public ::testing::Test {
 protected:
  ApplicationTest() : application(dir.Dir()) {
    auto fake = std::make_unique<test::FakeWindow>();
    window = fake.get();
    application.SetFrontEnd(std::move(fake));
    application.Start();
  }

  test::TempProgramDir dir;
  Application application;
  test::FakeWindow* window = nullptr;
};

TEST_F(ApplicationTest, EveryListMenuItemIsACommandWithItsCaption) {
  const std::map<QString, QString> captions{
      {u"Tmenu1"_s, u"验证选中"_s},
      {u"Tmenu2"_s, u"验证所有"_s},
      {u"LoadProxyMenu"_s, u"导入代理"_s},
      {u"WirteTxt"_s, u"导出为文本"_s},
      {u"WirteCsv"_s, u"导出为Csv"_s},
      {u"CopyInfo"_s, u"复制选中代理信息"_s},
      {u"GetgriMenu"_s, u"粘贴数据"_s},
      {u"FindInfo"_s, u"查找"_s},
      {u"Rdmenu"_s, u"去除重复"_s},
      {u"gotoAdrs"_s, u"检查地址"_s},
      {u"RestyzMenu"_s, u"重置验证历史"_s},
      {u"SltallMenu"_s, u"全 选"_s},
      {u"SltallMenus"_s, u"反 选"_s},
      {u"SltsucsMenu"_s, u"选择暂未验证"_s},
      {u"SltsucMenu"_s, u"选择验证成功"_s},
      {u"ClsLv"_s, u"清空列表"_s},
      {u"EndMenu"_s, u"退出"_s},
      {u"StopTest"_s, u"停止验证"_s},
  };
  for (const auto& [name, caption] : captions) {
    const Command* command = application.Commands().Find(name);
    ASSERT_NE(command, nullptr) << name.toStdString();
    EXPECT_EQ(command->caption, caption) << name.toStdString();
  }
  EXPECT_FALSE(application.Commands().Run(u"NoSuchCommand"_s));
}

TEST_F(ApplicationTest, QuitWithoutARunEndsAtOnce) {
  application.Commands().Run(u"EndMenu"_s);
  EXPECT_EQ(window->end_process_calls, 1);
  EXPECT_TRUE(window->window_visible);
}

TEST_F(ApplicationTest, QuitDuringARunLetsWorkersStop) {
  test::ProxyFarm farm;
  const auto slow = farm.Add({"slow [5.6.7.8]", 400, false}, 4);
  farm.Start();
  for (const std::string& address : slow) {
    application.State().List().AppendRow({QString::fromStdString(address)});
  }
  application.Commands().Run(u"Tmenu2"_s);
  const long long ms = test::TimeMs([&] {
    application.Commands().Run(u"EndMenu"_s);
    EXPECT_FALSE(window->window_visible);
    EXPECT_FALSE(application.Runs().TestRunning());
    EXPECT_EQ(window->end_process_calls, 0);
    ASSERT_TRUE(test::WaitFor([&] { return window->end_process_calls == 1; }, 5000));
  });
  EXPECT_GE(ms, 950);
  // The probes under way are cut off, well before the window goes.
  ASSERT_TRUE(test::WaitFor([&] { return !application.WorkersAlive(); }, 500));
  EXPECT_EQ(application.Runs().CurrentRun()->validated_count, 0);
}

}  // namespace
}  // namespace ph
