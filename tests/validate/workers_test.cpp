#include "validate/workers.h"

#include "support/fake_launcher.h"
#include "support/proxy_farm.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <set>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

QString RunText(int entries, const QString& address = u"127.0.0.1:1"_s) {
  QString text;
  for (int row = 1; row <= entries; ++row) text += u"%1=%2\r\n"_s.arg(row).arg(address);
  return text;
}

std::vector<int> BatchSizes(const Batches& cut) {
  std::vector<int> sizes;
  for (const QString& batch : cut.batches)
    sizes.push_back(static_cast<int>(batch.count(u"\r\n"_s)));
  return sizes;
}

TEST(CutBatches, SplitsIntoConsecutiveBatchesOfTheRoundedUpShare) {
  const Batches cut = CutBatches(RunText(250), 100);
  EXPECT_EQ(cut.to_validate, 250);
  ASSERT_EQ(cut.batches.size(), 84u);
  std::vector<int> expected(83, 3);
  expected.push_back(1);
  EXPECT_EQ(BatchSizes(cut), expected);
  EXPECT_TRUE(cut.batches[0].startsWith(u"1=127.0.0.1:1\r\n2="_s));
  EXPECT_EQ(cut.batches[83], u"250=127.0.0.1:1\r\n"_s);

  EXPECT_EQ(BatchSizes(CutBatches(RunText(1000), 100)), std::vector<int>(100, 10));
  EXPECT_EQ(BatchSizes(CutBatches(RunText(3), 5)), std::vector<int>(3, 1));
  EXPECT_EQ(BatchSizes(CutBatches(RunText(5), 100)), std::vector<int>(5, 1));
}

TEST(CutBatches, EmptyTextsAndUnterminatedLastLines) {
  const Batches empty = CutBatches(u""_s, 100);
  EXPECT_EQ(empty.to_validate, -1);
  EXPECT_TRUE(empty.batches.empty());
  const Batches open_end = CutBatches(u"1=a:1\r\n2=b:2"_s, 10);
  EXPECT_EQ(open_end.to_validate, 1);
  ASSERT_EQ(open_end.batches.size(), 1u);
  EXPECT_EQ(open_end.batches[0], u"1=a:1\r\n"_s);
  // Lines without "=" take their place in a batch, and a batch of only such lines is dropped.
  EXPECT_EQ(CutBatches(u"x\r\ny\r\n3=c:3\r\n"_s, 3).batches.size(), 1u);
}

class ZxShuzuTest : public ::testing::Test {
 protected:
  ZxShuzuTest() { links.run->test_running = true; }

  ThreadLauncher Launcher() {
    return [this](std::function<void()> body) { return launcher.Launch(std::move(body)); };
  }

  test::FakeLauncher launcher;
  WorkerLinks links{std::make_shared<ValidationShared>(), std::make_shared<RunState>(1),
                    std::make_shared<ProbeSettingsSlot>()};
};

TEST_F(ZxShuzuTest, StartsOneCountedWorkerPerBatch) {
  ZxShuzu(RunText(250), 100, links, Launcher());
  EXPECT_EQ(links.run->to_validate_count, 250);
  EXPECT_EQ(launcher.bodies.size(), 84u);
  EXPECT_EQ(links.shared->active_workers, 84);
  launcher.Discard(*links.shared, *links.run);
}

TEST_F(ZxShuzuTest, AnEmptyRunTextStartsNothing) {
  ZxShuzu(u""_s, 100, links, Launcher());
  EXPECT_EQ(links.run->to_validate_count, -1);
  EXPECT_TRUE(launcher.bodies.empty());
}

TEST_F(ZxShuzuTest, AThreadThatCannotBeMadeUndoesItsCountAndItsEntries) {
  launcher.fail = true;
  std::vector<int> skipped;
  ZxShuzu(RunText(10), 4, links, Launcher(), [&](int entries) { skipped.push_back(entries); });
  EXPECT_EQ(links.shared->active_workers, 0);
  EXPECT_EQ(links.run->to_validate_count, 0);
  EXPECT_EQ(skipped, (std::vector<int>{3, 3, 3, 1}));
}

class WorkerMainTest : public ::testing::Test {
 protected:
  WorkerMainTest() {
    answering = farm.Add({"<p>[1.2.3.4]</p>", 0, false}, 2);
    slow = farm.Add({"<p>[slow]</p>", 300, false}, 1);
    farm.Start();
    auto settings = std::make_shared<ProbeSettings>();
    settings->test_http = true;
    settings->timeout_ms = 3000;
    settings->http_url = u"http://ip138.test/ic.asp"_s;
    slot->Publish(settings);
    links.run->test_running = true;
  }

  std::shared_ptr<ProbeSettingsSlot> slot = std::make_shared<ProbeSettingsSlot>();
  WorkerLinks links{std::make_shared<ValidationShared>(), std::make_shared<RunState>(1), slot};
  test::ProxyFarm farm;
  std::vector<std::string> answering;
  std::vector<std::string> slow;
};

TEST_F(WorkerMainTest, ProbesEachLineAndCountsItsRecord) {
  const QString batch = u"7=%1\r\nno equals sign\r\n8=%2\r\n9=%1=ignored\r\n"_s.arg(
      QString::fromStdString(answering[0]), QString::fromStdString(answering[1]));
  ++links.shared->active_workers;
  WorkerMain(batch, links);
  EXPECT_EQ(links.shared->active_workers, 0);
  EXPECT_EQ(links.run->validated_count, 3);
  const std::string records = links.run->results.Take();
  EXPECT_NE(records.find("lvid=7;suc=4;statu=200;"), std::string::npos) << records;
  EXPECT_NE(records.find("lvid=8;suc=4;"), std::string::npos);
  EXPECT_NE(records.find("lvid=9;suc=4;"), std::string::npos);
  EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 3);
}

TEST_F(WorkerMainTest, ParallelWorkersKeepEveryRecordOnItsOwnLine) {
  QString text;
  for (int row = 1; row <= 200; ++row)
    text += u"%1=%2\r\n"_s.arg(row).arg(QString::fromStdString(answering[row % 2]));
  ZxShuzu(text, 20, links);
  ASSERT_TRUE(test::WaitFor([&] { return links.shared->active_workers == 0; }, 20000));
  EXPECT_EQ(links.run->validated_count, 200);
  const std::string records = links.run->results.Take();
  std::set<int> rows;
  std::size_t start = 0;
  for (std::size_t end; (end = records.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = records.substr(start, end - start);
    ASSERT_EQ(line.rfind("lvid=", 0), 0u) << line;
    ASSERT_NE(line.find(";errnum=0;"), std::string::npos) << line;
    rows.insert(std::stoi(line.substr(5)));
  }
  EXPECT_EQ(rows.size(), 200u);
  EXPECT_EQ(start, records.size());
}

TEST_F(WorkerMainTest, AStoppedRunEndsAfterTheProbeUnderWay) {
  QString text;
  for (int row = 1; row <= 10; ++row)
    text += u"%1=%2\r\n"_s.arg(row).arg(QString::fromStdString(slow[0]));
  ZxShuzu(text, 2, links);  // two workers of five slow probes each
  ASSERT_TRUE(test::WaitFor([&] { return links.run->validated_count >= 2; }, 5000));
  links.run->test_running = false;
  ASSERT_TRUE(test::WaitFor([&] { return links.shared->active_workers == 0; }, 5000));
  EXPECT_LT(links.run->validated_count, 10);
  EXPECT_LE(links.run->validated_count, 6);
}

}  // namespace
}  // namespace ph
