#include <gtest/gtest.h>

#include <string>

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

TEST(Clock, VirtualClockRecordsPausesWithoutSleeping)
{
  CVirtualClock clock;
  CScopedClock installed(clock);
  const uint64_t start = clock.NowMs();
  for (int i = 0; i < 90; ++i) {
    Pause(1000);
  }
  clock.Advance(5);
  EXPECT_EQ(clock.NowMs() - start, 90005u);
  EXPECT_EQ(clock.Pauses().size(), 90u);
  clock.ClearPauses();
  Pause(10);
  Pause(11);
  EXPECT_EQ(clock.Pauses(), (std::vector<uint32_t>{10, 11}));
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
