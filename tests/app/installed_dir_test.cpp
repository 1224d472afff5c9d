// Where an installed program keeps its files: a prefix laid out as cmake --install lays it
// out, and the user's data directory of the test.
#include "app/application.h"
#include "core/program_dir.h"
#include "iploc/ip_location.h"
#include "support/fake_window.h"
#include "support/ip_services.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class InstalledDirTest : public ::testing::Test {
 protected:
  InstalledDirTest() : saved_data_home_(qgetenv("XDG_DATA_HOME")) {
    QDir(root_.path()).mkpath(u"usr/bin"_s);
    qputenv("XDG_DATA_HOME", QFile::encodeName(root_.filePath(u"home/.local/share"_s)));
  }
  ~InstalledDirTest() override { qputenv("XDG_DATA_HOME", saved_data_home_); }

  QString Bin() const { return root_.filePath(u"usr/bin"_s); }
  QString SystemData() const { return root_.filePath(u"usr/share/proxyharvest"_s); }
  void Install() const { QDir().mkpath(SystemData()); }

 private:
  QTemporaryDir root_;
  QByteArray saved_data_home_;
};

TEST_F(InstalledDirTest, ABuildKeepsItsFilesBesideTheExecutable) {
  const ProgramDir dir = ProgramDir::ForExecutableIn(Bin());
  EXPECT_EQ(dir.Path(), Bin());
  EXPECT_FALSE(dir.InDataDir());
  EXPECT_EQ(dir.DatabaseDirs(), QStringList{Bin()});
  EXPECT_FALSE(QFileInfo::exists(UserDataDir()));
}

TEST_F(InstalledDirTest, AnInstalledProgramKeepsThemInTheUsersDataDirectory) {
  Install();
  const ProgramDir dir = ProgramDir::ForExecutableIn(Bin());
  EXPECT_TRUE(dir.InDataDir());
  EXPECT_EQ(dir.Path(), UserDataDir());
  EXPECT_TRUE(UserDataDir().startsWith(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))));
  EXPECT_TRUE(QFileInfo(UserDataDir()).isDir());
  EXPECT_EQ(dir.DatabaseDirs(), (QStringList{UserDataDir(), SystemData()}));
}

TEST_F(InstalledDirTest, AProgramDirectoryItMayNotWriteCountsAsInstalled) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write every directory";
  QFile(Bin()).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  const ProgramDir dir = ProgramDir::ForExecutableIn(Bin());
  QFile(Bin()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_TRUE(dir.InDataDir());
  EXPECT_EQ(dir.Path(), UserDataDir());
}

TEST_F(InstalledDirTest, ExportsGoToTheDataDirectoryAndTheSystemsIpDatabaseIsFound) {
  Install();
  Application application(ProgramDir::ForExecutableIn(Bin()));
  application.SetFrontEnd(std::make_unique<test::FakeWindow>());
  application.Start();
  NewRow row;
  row[kAddress - 1] = u"1.0.0.7:8080"_s;
  application.State().List().AppendRow(row);
  EXPECT_TRUE(application.Run(CommandId::kExportText).Ok());
  EXPECT_TRUE(application.Run(CommandId::kExportCsv).Ok());
  EXPECT_TRUE(QFileInfo::exists(QDir(UserDataDir()).filePath(u"Zxproxyinfo.txt"_s)));
  EXPECT_EQ(QDir(UserDataDir()).entryList({u"*.csv"_s}, QDir::Files).size(), 1);
  EXPECT_EQ(QDir(Bin()).entryList(QDir::Files), QStringList{});

  const ProgramDir& dir = application.State().Dir();
  EXPECT_EQ(LocationFromDatabase(u"1.0.0.7"_s, dir), std::nullopt);
  test::WriteDatabaseFile(QDir(SystemData()).filePath(u"qqwry.dat"_s), test::Database().Bytes());
  EXPECT_EQ(LocationFromDatabase(u"1.0.0.7"_s, dir), u"北京市 联通"_s);
}

}  // namespace
}  // namespace ph
