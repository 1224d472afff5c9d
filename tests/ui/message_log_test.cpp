#include "ui/message_log.h"

#include "app/application.h"
#include "core/app_state.h"
#include "support/sandbox.h"
#include "ui/main_window.h"
#include "ui/message_hold.h"
#include "ui/message_log_dialog.h"
#include "ui/started_window.h"
#include "ui/status_panels.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <variant>
#include <vector>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

const QDateTime kNoon(QDate(2026, 12, 7), QTime(12, 0, 0));

// Ends a running hold now, as if its time were up.
void EndHold(QObject& owner) {
  auto* timer = owner.findChild<QTimer*>(QLatin1StringView(MessageHold::kTimerName));
  ASSERT_NE(timer, nullptr);
  if (!timer->isActive()) return;
  timer->start(0);
  ASSERT_TRUE(test::WaitFor([timer] { return !timer->isActive(); }));
}

TEST(MessageLog, KeepsTheLastThousandTextsNewestFirstWithTheirTimes) {
  int seconds = 0;
  MessageLog log([&seconds] { return kNoon.addSecs(seconds++); });
  for (int i = 1; i <= MessageLog::kMostMessages + 5; ++i)
    log.Add(u"第 %1 条"_s.arg(i), i % 2 == 0 ? TextKind::kProblem : TextKind::kProgress);
  ASSERT_EQ(log.Count(), MessageLog::kMostMessages);
  EXPECT_EQ(log.Line(0), u"2026-12-07 12:16:44  第 1005 条"_s);
  EXPECT_EQ(log.Line(MessageLog::kMostMessages - 1), u"2026-12-07 12:00:05  第 6 条"_s);
  EXPECT_EQ(log.Kind(0), TextKind::kProgress);
  EXPECT_EQ(log.Kind(1), TextKind::kProblem);
  EXPECT_EQ(log.rowCount(), MessageLog::kMostMessages);
  EXPECT_EQ(log.data(log.index(1), Qt::DisplayRole).toString(), log.Line(1));
}

// A status text given to the hold, or the end of the hold's time.
struct Given {
  QString text;
  TextKind kind = TextKind::kProgress;
};
struct TimeUp {};
struct HoldStep {
  std::variant<Given, TimeUp> what;
  QString shown;  // panel 7 afterwards
};
struct HoldCase {
  const char* what;
  std::vector<HoldStep> steps;
};
void PrintTo(const HoldCase& c, std::ostream* out) { *out << c.what; }

class MessageHoldTest : public ::testing::TestWithParam<HoldCase> {};

TEST_P(MessageHoldTest, Panel7ShowsAProblemForTheHold) {
  QObject owner;
  MessageHold hold(std::chrono::hours(1), &owner);
  QString shown;
  QObject::connect(&hold, &MessageHold::Show, [&shown](const QString& text) { shown = text; });
  int step = 0;
  for (const HoldStep& s : GetParam().steps) {
    if (const auto* given = std::get_if<Given>(&s.what)) {
      hold.Take(given->text, given->kind);
    } else {
      EndHold(hold);
    }
    EXPECT_EQ(shown, s.shown) << "step " << step++;
  }
}

constexpr TextKind kProblem = TextKind::kProblem;

INSTANTIATE_TEST_SUITE_P(
    Texts, MessageHoldTest,
    ::testing::Values(HoldCase{"ProgressWaitsAndTheLatestShowsWhenTheHoldEnds",
                               {{Given{u"a"_s}, u"a"_s},
                                {Given{u"b"_s}, u"b"_s},
                                {Given{u"不能用的行"_s, kProblem}, u"不能用的行"_s},
                                {Given{u"c"_s}, u"不能用的行"_s},
                                {Given{u"d"_s}, u"不能用的行"_s},
                                {TimeUp{}, u"d"_s},
                                {Given{u"e"_s}, u"e"_s}}},
                      HoldCase{"ALaterProblemReplacesAProblemAtOnce",
                               {{Given{u"p1"_s, kProblem}, u"p1"_s},
                                {Given{u"x"_s}, u"p1"_s},
                                {Given{u"p2"_s, kProblem}, u"p2"_s},
                                {TimeUp{}, u"p2"_s},  // the progress before p2 does not come back
                                {Given{u"y"_s}, u"y"_s}}},
                      HoldCase{"AProblemStaysWhenNothingFollows",
                               {{Given{u"p"_s, kProblem}, u"p"_s}, {TimeUp{}, u"p"_s}}}),
    [](const auto& info) { return std::string(info.param.what); });

class WindowMessagesTest : public ::testing::Test {
 protected:
  WindowMessagesTest() : application(dir.Dir()), window(test::StartWindow(application)) {}

  Status& Bar() { return window.State().StatusBar(); }

  test::TempProgramDir dir;
  Application application;
  MainWindow& window;
};

TEST_F(WindowMessagesTest, TwoTextsInOneTurnAreBothLoggedAndTheProblemStaysThreeSeconds) {
  const QString problem = u"sources.ini 第 3, 7 行无法识别,已忽略"_s;
  const QString progress = u"正在采集公开列表 ..."_s;
  Bar().SetProblem(problem);
  Bar().SetText(progress);
  QCoreApplication::processEvents();

  const MessageLog& log = window.Log();
  ASSERT_GE(log.Count(), 2);
  EXPECT_TRUE(log.Line(0).endsWith(u"  "_s + progress));
  EXPECT_TRUE(log.Line(1).endsWith(u"  "_s + problem));
  EXPECT_EQ(log.Kind(1), TextKind::kProblem);
  EXPECT_EQ(window.Panel(StatusPanels::kMessage), problem);
  auto* hold = window.findChild<QTimer*>(QLatin1StringView(MessageHold::kTimerName));
  ASSERT_NE(hold, nullptr);
  EXPECT_TRUE(hold->isActive());
  EXPECT_EQ(hold->interval(), 3000);

  EndHold(window);
  EXPECT_EQ(window.Panel(StatusPanels::kMessage), progress);
}

TEST_F(WindowMessagesTest, TheLogOpensFromTheMenuBarAndFromPanel7AndCopies) {
  Bar().SetText(u"第一条"_s);
  Bar().SetProblem(u"第二条"_s);
  window.findChild<QAction*>(u"LogMenu"_s)->trigger();
  auto* dialog = window.findChild<MessageLogDialog*>(u"MessageLog"_s);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowTitle(), u"消息记录"_s);
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());

  QTest::mouseClick(window.findChild<QLabel*>(u"Panel7"_s), Qt::LeftButton);
  EXPECT_TRUE(dialog->isVisible());
  auto* lines = dialog->findChild<QListView*>(u"MessageLines"_s);
  ASSERT_EQ(lines->model()->rowCount(), window.Log().Count());
  EXPECT_TRUE(lines->model()->index(0, 0).data().toString().endsWith(u"第二条"_s));

  // A text that comes while it is open shows at the top.
  Bar().SetText(u"第三条"_s);
  EXPECT_TRUE(lines->model()->index(0, 0).data().toString().endsWith(u"第三条"_s));

  dialog->findChild<QPushButton*>(u"CopyMessages"_s)->click();  // nothing selected: all
  const QStringList copied = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(copied.size(), window.Log().Count());
  EXPECT_TRUE(copied[0].endsWith(u"  第三条"_s));
  EXPECT_TRUE(copied[2].endsWith(u"  第一条"_s));
  EXPECT_EQ(copied[1].size(), u"2026-12-07 12:00:00  第二条"_s.size());

  lines->selectionModel()->select(lines->model()->index(1, 0), QItemSelectionModel::Select);
  lines->setFocus();
  QTest::keyClick(lines, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), window.Log().Line(1) + u'\n');
  dialog->close();
}

}  // namespace
}  // namespace ph
