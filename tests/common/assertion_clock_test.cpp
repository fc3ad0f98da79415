#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/assertion.h"
#include "common/cclock.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

TEST(Assertion, ReportNamesExpressionFileAndLineAndCarriesOn)
{
  test::CDebugCapture capture;
  bool reachedAfterCheck = false;
  const int line = __LINE__ + 1;
  ORV_ASSERT(1 + 1 == 3);
  reachedAfterCheck = true;
  ORV_ASSERT(reachedAfterCheck);
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_EQ(capture.Lines()[0],
            "Assert:(1 + 1 == 3) in tests/common/assertion_clock_test.cpp at " + std::to_string(line) + "\n");
  EXPECT_TRUE(reachedAfterCheck);
}

TEST(Assertion, DebugPrintReturnsLengthAndFormatsLongText)
{
  test::CDebugCapture capture;
  const std::string longText(5000, 'x');
  EXPECT_EQ(DebugPrint("%s|%d", longText.c_str(), 42), 5003);
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_EQ(capture.Lines()[0], longText + "|42");
}

TEST(Clock, ScopedClockRestoresThePreviousOne)
{
  CClock* before = &Clock();
  {
    CVirtualClock outer;
    CScopedClock installOuter(outer);
    {
      CVirtualClock inner;
      CScopedClock installInner(inner);
      EXPECT_EQ(&Clock(), &inner);
    }
    EXPECT_EQ(&Clock(), &outer);
  }
  EXPECT_EQ(&Clock(), before);
}

TEST(Clock, ScheduledClockInterleavesThreadsInVirtualTimeOrder)
{
  CScheduledClock clock;
  CScopedClock installed(clock);
  std::atomic<int> stage{0};
  std::vector<int> seen;
  std::thread worker;
  {
    CClockParticipant mainThread;
    Clock().Expect();
    worker = std::thread([&] {
      CClockParticipant participant;
      Pause(1000);
      stage = 1;
      Pause(1000);
      stage = 2;
    });
    for (uint32_t pause : {500u, 1000u, 1000u}) {
      Pause(pause);
      seen.push_back(stage);
    }
  }
  worker.join();
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(clock.NowMs(), 2500u);
}

TEST(Clock, AThreadThatLeavesNoLongerHoldsTimeBack)
{
  CScheduledClock clock;
  CScopedClock installed(clock);
  clock.Join();  // this thread takes part but does not pause
  std::thread visitor([] { Pause(300); });
  clock.Leave();
  visitor.join();
  EXPECT_EQ(clock.NowMs(), 300u);
}

TEST(ScaledClock, RunsRealTimeFasterByItsSpeedUp)
{
  CScaledClock clock(100);
  const uint64_t start = clock.NowMs();
  const auto realStart = std::chrono::steady_clock::now();
  clock.Pause(2000);
  const auto realMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart).count();
  EXPECT_GE(clock.NowMs() - start, 2000u);
  EXPECT_GE(realMs, 20);
  EXPECT_LT(realMs, 1000);
  EXPECT_EQ(CScaledClock(0).NowMs() / 1000, 0u) << "a speed-up of 0 counts as 1";
}
