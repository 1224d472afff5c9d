// The program as a command, started as on a server: no display, no platform named.
#include "support/program_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QDir>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

struct Case {
  const char* name;
  QStringList arguments;
  int exit_code;
  bool on_stdout;              // the text is on standard output, else on standard error
  std::vector<QString> holds;  // texts the output holds
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ConventionsTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConventionsTest, EndsWithItsStatusAndItsWordsAndWithoutACore) {
  const Case& c = GetParam();
  test::TempProgramDir dir;
  const test::ProgramRun run = test::RunProgram(QStringLiteral(PH_PROGRAM), c.arguments,
                                                test::NoDisplay(dir.Path()), {}, dir.Path());
  EXPECT_FALSE(run.crashed) << run.err.toStdString();
  EXPECT_EQ(run.exit_code, c.exit_code) << run.err.toStdString();
  const QString shown = QString::fromUtf8(c.on_stdout ? run.out : run.err);
  const QString other = QString::fromUtf8(c.on_stdout ? run.err : run.out);
  for (const QString& text : c.holds) EXPECT_TRUE(shown.contains(text)) << shown.toStdString();
  EXPECT_TRUE(other.isEmpty()) << other.toStdString();
  EXPECT_TRUE(QDir(dir.Path()).entryList({u"core*"_s}, QDir::Files).isEmpty());
}

const QString kUsage = u"用法:"_s;
// Every option and sub-command the usage must name.
const std::vector<QString> kEveryOption{kUsage,
                                        u"check [FILE|-]"_s,
                                        u"harvest"_s,
                                        u"--headless"_s,
                                        u"--db FILE"_s,
                                        u"--db FILE|URL"_s,
                                        u"--keep-list"_s,
                                        u"--config FILE"_s,
                                        u"--import FILE"_s,
                                        u"--dir DIR"_s,
                                        u"--api PORT"_s,
                                        u"--rotate PORT"_s,
                                        u"--no-api"_s,
                                        u"--harvest-now"_s,
                                        u"--validate-now"_s,
                                        u"--print-config"_s,
                                        u"--format FORMAT"_s,
                                        u"--timeout MS"_s,
                                        u"--concurrency N"_s,
                                        u"--test-url URL"_s,
                                        u"--match TEXT"_s,
                                        u"--anonymity"_s,
                                        u"--sources FILE"_s,
                                        u"--quiet"_s,
                                        u"--help"_s,
                                        u"--version"_s,
                                        u"130"_s};
const QString kHeadlessAdvice = u"--headless"_s;
const QString kVirtualDisplay = u"xvfb-run -a proxyharvest"_s;

INSTANTIATE_TEST_SUITE_P(
    Program, ConventionsTest,
    ::testing::Values(
        Case{"Help", {u"--help"_s}, 0, true, kEveryOption},
        Case{"ShortHelp", {u"-h"_s}, 0, true, {kUsage}},
        Case{"HelpOfASubCommand", {u"check"_s, u"--help"_s}, 0, true, {kUsage}},
        Case{"Version", {u"--version"_s}, 0, true, {u"proxyharvest " PH_VERSION "\n"_s}},
        Case{"UnknownOption",
             {u"--frobnicate"_s},
             2,
             false,
             {u"未知的选项: --frobnicate"_s, kUsage}},
        Case{"UnknownSubCommand",
             {u"frobnicate"_s},
             2,
             false,
             {u"未知的子命令: frobnicate"_s, kUsage}},
        Case{"OptionOfAnotherMode", {u"check"_s, u"--no-api"_s}, 2, false, {u"--no-api"_s, kUsage}},
        Case{"MissingValue", {u"--headless"_s, u"--db"_s}, 2, false, {kUsage}},
        Case{"BadFormat", {u"check"_s, u"--format"_s, u"xml"_s}, 2, false, {u"--format"_s}},
        Case{"WindowWithoutADisplay", {}, 1, false, {kHeadlessAdvice, kVirtualDisplay}},
        Case{"WindowKeepingItsListWithoutADisplay",
             {u"--keep-list"_s},
             1,
             false,
             {kHeadlessAdvice, kVirtualDisplay}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ConventionsTest, AWindowWhoseDisplayCannotBeReachedSaysSoInsteadOfAborting) {
  test::TempProgramDir dir;
  QProcessEnvironment environment = test::NoDisplay(dir.Path());
  environment.insert(u"DISPLAY"_s, u":97"_s);  // no X server answers there
  const test::ProgramRun run =
      test::RunProgram(QStringLiteral(PH_PROGRAM), {}, environment, {}, dir.Path());
  EXPECT_FALSE(run.crashed);
  EXPECT_EQ(run.exit_code, 1);
  const QString err = QString::fromUtf8(run.err);
  EXPECT_TRUE(err.contains(kHeadlessAdvice) && err.contains(kVirtualDisplay)) << err.toStdString();
  EXPECT_TRUE(QDir(dir.Path()).entryList({u"core*"_s}, QDir::Files).isEmpty());
}

}  // namespace
}  // namespace ph
