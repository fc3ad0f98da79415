#include <gtest/gtest.h>

#include "app/boardprogress.h"

using namespace orv;

TEST(BoardProgress, BytesOverallShareAndTimeLeft)
{
  // The second of four boards, half done after 30 s: three eighths of the run, so 50 s are left.
  SBoardProgress progress = EstimateBoardProgress(u"touch", 1, 4, 50, 3072, 30000);
  EXPECT_EQ(progress.index, 2u);
  EXPECT_EQ(progress.count, 4u);
  EXPECT_EQ(progress.overall, 37);
  EXPECT_EQ(progress.bytesDone, 1536u);
  EXPECT_EQ(progress.leftMs, 50000);
  // Too early to tell, and values out of range held to it.
  EXPECT_EQ(EstimateBoardProgress(u"pen", 0, 4, 1, 100, 5000).leftMs, -1);
  progress = EstimateBoardProgress(u"pen", 7, 0, 250, 100, 5000);
  EXPECT_EQ(progress.index, 1u);
  EXPECT_EQ(progress.percent, 100);
  EXPECT_EQ(progress.bytesDone, 100u);
  EXPECT_EQ(progress.leftMs, 0);
}

TEST(BoardProgress, DurationText)
{
  EXPECT_EQ(DurationText(0), "0:00");
  EXPECT_EQ(DurationText(7999), "0:07");
  EXPECT_EQ(DurationText(754000), "12:34");
  EXPECT_EQ(DurationText(3723000), "1:02:03");
}
