#pragma once

#include "core/app_state.h"
#include "core/proxy_list.h"
#include "harvest/harvest_control.h"
#include "support/fake_window.h"
#include "support/http_fixtures.h"
#include "support/qqwry_builder.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace ph::test {

// A whole program state whose list sites, 66ip API and IP-information services are one
// loopback page server, with a small IP database in the program directory (unless a test
// removes it), a harvest delay of 0 and a short 66ip no-data pause. The public lists are
// unticked: a test of them ticks them.
class HarvestTest : public ::testing::Test {
 protected:
  HarvestTest() : state(window, Prepared()), control(state) {
    state.Startup();
    control.Start();
    control.SetNoDataPauseMs(50);
    state.Config().SetText(&SettingsPanel::Text7, QStringLiteral("0"));
    state.Config().SetCheck(&SettingsPanel::Check9, 0);
  }

  ProgramDir Prepared() {
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.Port());
    dir.Write(QStringLiteral("endpoints.ini"),
              (QStringLiteral("xicidaili=") + base + QStringLiteral("\nip66=") + base +
               QStringLiteral("\ninfo_126=") + base + u'\n')
                  .toUtf8());
    QQWryBuilder db;
    db.AddRanges(
        {{Ip(1, 0, 0, 0), Ip(1, 255, 255, 255), QStringLiteral("一区"), QStringLiteral("甲")},
         {Ip(2, 0, 0, 0), Ip(2, 255, 255, 255), QStringLiteral("二区"), QStringLiteral("乙")}});
    db.AddFiller(Ip(9, 0, 0, 0), 2);
    WriteDatabaseFile(dir.File(QStringLiteral("qqwry.dat")), db.Bytes());
    return dir.Dir();
  }

  // Sets which sources a harvest takes: the four categories, then 66ip.
  void Sources(int high, int normal, int high_foreign, int normal_foreign, int ip66) {
    Settings& settings = state.Config();
    settings.SetCheck(&SettingsPanel::Check1, high);
    settings.SetCheck(&SettingsPanel::Check2, normal);
    settings.SetCheck(&SettingsPanel::Check6, high_foreign);
    settings.SetCheck(&SettingsPanel::Check7, normal_foreign);
    settings.SetCheck(&SettingsPanel::Check3, ip66);
  }
  void Pages(int pages) {
    state.Config().SetText(&SettingsPanel::Text1, QString::number(pages));
    state.ApplySettings();
  }
  // Starts a harvest and waits until it is over.
  void Harvest() {
    control.StartHarvest();
    ASSERT_TRUE(WaitFor([&] { return control.Run() == nullptr; }, 20000));
  }
  QStringList Column(int cell) {
    QStringList texts;
    for (int row = 1; row <= state.List().RowCount(); ++row)
      texts << state.List().CellText(row, cell);
    return texts;
  }

  PageServer server;
  TempProgramDir dir;
  FakeWindow window;
  AppState state;
  StatusLog log{state.StatusBar()};
  HarvestControl control;
};

}  // namespace ph::test
