// The installed package, where PH_INSTALLED_PROGRAM names its executable (scripts/test installs
// the .deb and sets it): the program run from its bin directory keeps its files in the user's
// data directory and finds the IP database of the system data directory.
#include "support/program_run.h"
#include "support/proxy_farm.h"
#include "support/qqwry_builder.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <set>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

class InstalledTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program = qEnvironmentVariable("PH_INSTALLED_PROGRAM");
    if (program.isEmpty()) GTEST_SKIP() << "PH_INSTALLED_PROGRAM names no installed program";
    environment = test::NoDisplay(home.Path());
    for (const std::string& address : farm.Add({"ok [127.0.0.1]", 0, false, false}, 3))
      working.insert(QString::fromStdString(address));
    for (const std::string& address : farm.Add({"no bracket", 0, false, false}, 3))
      list += QString::fromStdString(address) + u'\n';
    for (const QString& address : working) list += address + u'\n';
    farm.Start();
  }
  // The user's data directory of the program, as the test's home makes it.
  QString DataDir() const { return home.File(u".local/share/ProxyHarvest"_s); }
  // check with the default test target (IP138), whose page every farm proxy answers.
  test::ProgramRun Check(const QStringList& more = {}) const {
    return test::RunProgram(program, QStringList{u"check"_s, u"-"_s, u"--quiet"_s} + more,
                            environment, list.toUtf8(), work.Path());
  }
  std::set<QString> Lines(const QByteArray& text) const {
    std::set<QString> lines;
    for (const QByteArray& line : text.split('\n'))
      if (!line.isEmpty()) lines.insert(QString::fromUtf8(line));
    return lines;
  }

  QString program;
  test::TempProgramDir home;
  test::TempProgramDir work;  // the working directory
  QProcessEnvironment environment;
  test::ProxyFarm farm;
  std::set<QString> working;
  QString list;
};

TEST_F(InstalledTest, RunsFromItsBinDirectoryAndChecksALoopbackList) {
  EXPECT_EQ(QFileInfo(program).absoluteDir().dirName(), u"bin"_s);
  const test::ProgramRun version = test::RunProgram(program, {u"--version"_s}, environment);
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_TRUE(version.out.startsWith("proxyharvest ")) << version.out.toStdString();
  const test::ProgramRun run = Check();
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(Lines(run.out), working);
}

TEST_F(InstalledTest, ReadsEndpointsIniFromTheUsersDataDirectory) {
  // The HTTP target under the word of another: its page must then hold "remote_ip_info",
  // which no farm page does.
  QDir().mkpath(DataDir());
  QFile endpoints(QDir(DataDir()).filePath(u"endpoints.ini"_s));
  ASSERT_TRUE(endpoints.open(QIODevice::WriteOnly));
  endpoints.write("test_ip138=http://sina.test\n");
  endpoints.close();
  const test::ProgramRun run = Check();
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

TEST_F(InstalledTest, FindsTheIpDatabaseOfTheSystemDataDirectory) {
  const QString system_data = QFileInfo(program).absoluteDir().filePath(u"../share/proxyharvest"_s);
  const QString path = QDir(system_data).filePath(u"qqwry.dat"_s);
  if (!QFileInfo(system_data).isWritable() || QFileInfo::exists(path))
    GTEST_SKIP() << "the system data directory is not the test's to write";
  test::QQWryBuilder database;
  // A lookup searches an index of three records at least.
  database.AddRanges(
      {{test::Ip(127, 0, 0, 0), test::Ip(127, 255, 255, 255), u"本机地址"_s, u"回环"_s},
       {test::Ip(128, 0, 0, 0), test::Ip(128, 0, 0, 255), u"别处"_s, u""_s}});
  database.AddFiller(test::Ip(129, 0, 0, 0));
  test::WriteDatabaseFile(path, database.Bytes());
  const test::ProgramRun run = Check({u"--format"_s, u"csv"_s});
  QFile::remove(path);
  ASSERT_EQ(run.exit_code, 0) << run.err.toStdString();
  const QList<QByteArray> lines = run.out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 4) << run.out.toStdString();
  for (qsizetype i = 1; i < lines.size(); ++i)
    EXPECT_TRUE(lines[i].endsWith(",本机地址 回环")) << lines[i].toStdString();
}

TEST_F(InstalledTest, TheServersDatabaseIsInTheUsersDataDirectory) {
  test::RunningProgram server(program, {u"--headless"_s, u"--no-api"_s}, environment, work.Path());
  ASSERT_TRUE(test::WaitFor([&] { return server.Out().contains("已载入数据库"); }, 10000))
      << server.Err().toStdString();
  const test::ProgramRun run = server.Stop(SIGTERM);
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_TRUE(QFileInfo::exists(QDir(DataDir()).filePath(u"proxyharvest.db"_s)));
  EXPECT_TRUE(QDir(work.Path()).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace ph
