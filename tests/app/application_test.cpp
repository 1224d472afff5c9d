#include "app/application.h"

#include "commands/command_table.h"
#include "core/proxy_list.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <map>
#include <memory>
#include <set>

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

TEST_F(ApplicationTest, EveryMenuItemIsACommandOfTheTableWithItsCaption) {
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
    const CommandSpec* command = FindCommand(name);
    ASSERT_NE(command, nullptr) << name.toStdString();
    EXPECT_EQ(command->Caption(), caption) << name.toStdString();
  }
  EXPECT_EQ(FindCommand(u"NoSuchCommand"_s), nullptr);
  // Every item of the list menu is a command of the table, once, under its own name.
  std::set<CommandId> in_menu;
  for (const MenuEntry& entry : ListMenuLayout()) {
    if (entry.kind != MenuEntry::kItem) continue;
    EXPECT_TRUE(in_menu.insert(entry.command).second);
    EXPECT_EQ(FindCommand(SpecOf(entry.command).Name()), &SpecOf(entry.command));
    EXPECT_FALSE(SpecOf(entry.command).Caption().isEmpty());
  }
  EXPECT_EQ(in_menu.size(), 19u);
  std::set<QString> names;
  for (const CommandSpec& command : Commands()) EXPECT_TRUE(names.insert(command.Name()).second);
}

TEST_F(ApplicationTest, QuitWithoutARunEndsAtOnce) {
  QSignalSpy ended(&application, &Application::Ended);
  application.Run(CommandId::kQuit);
  ASSERT_EQ(ended.count(), 1);
  EXPECT_EQ(ended.first().at(0).toInt(), 0);
  EXPECT_TRUE(window->window_visible);
}

TEST_F(ApplicationTest, QuitDuringARunLetsTheProbesStopAndJoinsTheEngine) {
  test::ProxyFarm farm;
  const auto slow = farm.Add({"slow [5.6.7.8]", 400, false}, 4);
  farm.Start();
  for (const std::string& address : slow) {
    application.State().List().AppendRow({QString::fromStdString(address)});
  }
  QSignalSpy ended(&application, &Application::Ended);
  application.Run(CommandId::kValidateAll);
  const long long ms = test::TimeMs([&] {
    application.Run(CommandId::kQuit);
    EXPECT_FALSE(window->window_visible);
    EXPECT_FALSE(application.Runs().TestRunning());
    EXPECT_EQ(ended.count(), 0);
    ASSERT_TRUE(test::WaitFor([&] { return ended.count() == 1; }, 5000));
  });
  EXPECT_GE(ms, 950);
  // The probes under way were cut off, and the engine's threads are joined.
  EXPECT_FALSE(application.ProbesAlive());
  EXPECT_EQ(application.Runs().CurrentRun()->validated_count, 0);
  // Nothing starts once the end is under way.
  EXPECT_EQ(application.Run(CommandId::kValidateAll).outcome, CommandResult::Outcome::kRefused);
}

TEST_F(ApplicationTest, TheStopCommandsAreOfferedWhileTheirJobRuns) {
  test::StatusLog log(application.State().StatusBar());
  test::SilentServer silent;
  // A harvest of no sources over rows that have their regions asks nobody.
  application.State().List().AppendRow({QString::fromStdString(silent.Address()), u"本地"_s});
  for (const CheckField box :
       {&SettingsPanel::Check1, &SettingsPanel::Check3, &SettingsPanel::Check9})
    application.State().Config().SetCheck(box, 0);
  application.Run(CommandId::kValidateAll);
  EXPECT_TRUE(log.menu_visible.at(MenuItem::StopTest));
  application.Run(CommandId::kStopValidation);
  EXPECT_FALSE(log.menu_visible.at(MenuItem::StopTest));
  application.Run(CommandId::kHarvest);
  EXPECT_TRUE(log.menu_visible.at(MenuItem::StopGet));
  application.Run(CommandId::kStopHarvest);
  EXPECT_FALSE(log.menu_visible.at(MenuItem::StopGet));
  ASSERT_TRUE(test::WaitFor([&] { return application.Harvest().Run() == nullptr; }, 35000));
}

}  // namespace
}  // namespace ph
