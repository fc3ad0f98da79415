#include <gtest/gtest.h>

#include <thread>

#include "common/fwupdater/clogupdatenotifier.h"
#include "common/stringutilities.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

std::tm Time(int hour_I, int minute_I, int second_I)
{
  std::tm time{};
  time.tm_hour = hour_I;
  time.tm_min = minute_I;
  time.tm_sec = second_I;
  time.tm_mon = 2;
  time.tm_mday = 3;
  time.tm_year = 126;
  return time;
}

}  // namespace

TEST(LogUpdateNotifier, NameAndLineFormats)
{
  EXPECT_EQ(CLogUpdateNotifier::LogFileName(Time(9, 5, 7)), "OrvelFWUpdater_957_3.3.2026.txt");
  test::CScratchDir dir;
  const std::string tempDir = dir.Path().string() + "/";
  CLogUpdateNotifier notifier(tempDir, Time(9, 5, 7));
  EXPECT_EQ(notifier.GetLogPath(), tempDir + "OrvelFWUpdater_957_3.3.2026.txt");
  notifier.Log("Updating Device List...");
  notifier.Log("");
  notifier.Error(-8, "Gr\xC3\xB6\xC3\x9F" "e");
  notifier.SetState(2);
  notifier.SetProgress(40);
  notifier.Log("after");
  EXPECT_EQ(notifier.GetState(), 2);
  EXPECT_EQ(notifier.GetProgress(), 40);
  EXPECT_EQ(notifier.GetLastErrorCode(), -8);
  EXPECT_EQ(test::ReadText(notifier.GetLogPath()),
            "Updating Device List...\n\n[ERROR] Gr\xC3\xB6\xC3\x9F" "e (-8)\n[STATE] 2\nafter\n");
}

TEST(LogUpdateNotifier, ALaterRunWithTheSameNameKeepsTheEarlierLog)
{
  test::CScratchDir dir;
  const std::string tempDir = dir.Path().string() + "/";
  CLogUpdateNotifier first(tempDir, Time(1, 11, 5));
  first.Log("first run");
  CLogUpdateNotifier second(tempDir, Time(11, 1, 5));
  second.Log("second run");
  EXPECT_EQ(second.GetLogPath(), tempDir + "OrvelFWUpdater_1115_3.3.2026-2.txt");
  EXPECT_EQ(test::ReadText(first.GetLogPath()), "first run\n");
  EXPECT_EQ(test::ReadText(second.GetLogPath()), "second run\n");
}

TEST(LogUpdateNotifier, LinesFromTwoThreadsStayWhole)
{
  test::CScratchDir dir;
  CLogUpdateNotifier notifier(dir.Path().string() + "/", Time(0, 0, 0));
  const std::string line(200, 'x');
  std::thread worker([&] {
    for (int i = 0; i < 500; ++i) notifier.Log(line);
  });
  for (int i = 0; i < 500; ++i) notifier.SetState(i % 8);
  worker.join();
  const std::vector<std::string> lines = Split(test::ReadText(notifier.GetLogPath()), "\n");
  ASSERT_EQ(lines.size(), 1000u);
  for (const std::string& written : lines) EXPECT_TRUE(written == line || written.rfind("[STATE] ", 0) == 0) << written;
}

TEST(LogUpdateNotifier, AnUnwritableDirectoryDropsLinesButKeepsValues)
{
  CLogUpdateNotifier notifier("/no/such/directory/", Time(0, 0, 0));
  notifier.Log("lost");
  notifier.SetState(6);
  notifier.Error(1, "Could not find selected device");
  EXPECT_EQ(notifier.GetState(), 6);
  EXPECT_EQ(notifier.GetLastErrorMessage(), "Could not find selected device");
}
