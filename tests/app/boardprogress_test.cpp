#include <gtest/gtest.h>

#include "app/boardprogress.h"

using namespace orv;

// The time left is the bytes still to write at the measured rate plus the waits known to be ahead: the pauses
// between boards and the loader switches of the unfinished boards at their measured average.
TEST(BoardProgress, BytesOverallShareAndTimeLeft)
{
  // Second of four boards of 1000, 2000, 1000 and 4000 bytes, half done: 2000 bytes in 4 s of transfers, so
  // 6000 bytes take 12 s more; three pauses of 10 s are ahead, and three unfinished boards at the first
  // board's 2 s of switching.
  SRunTiming timing{{1000, 2000, 1000, 4000}, 4000, 2000, 1, 30000};
  SBoardProgress progress = EstimateBoardProgress(u"touch", 1, 4, 50, 20000, timing);
  EXPECT_EQ(progress.index, 2u);
  EXPECT_EQ(progress.count, 4u);
  EXPECT_EQ(progress.overall, 37);
  EXPECT_EQ(progress.bytesDone, 1000u);
  EXPECT_EQ(progress.bytesTotal, 2000u);
  EXPECT_EQ(progress.leftMs, 12000 + 30000 + 3 * 2000);
  // Unknown until the first bytes are written; values out of range held to it; a full bar only at the end.
  EXPECT_EQ(EstimateBoardProgress(u"pen", 0, 4, 0, 5000, {{100, 100, 100, 100}, 0, 0, 0, 40000}).leftMs, -1);
  progress = EstimateBoardProgress(u"pen", 7, 0, 250, 5000, {{100}, 1000, 0, 1, 10000});
  EXPECT_EQ(progress.index, 1u);
  EXPECT_EQ(progress.percent, 100);
  EXPECT_EQ(progress.overall, 99);
  EXPECT_EQ(progress.bytesDone, 100u);
  EXPECT_EQ(progress.leftMs, 10000);
}

TEST(BoardProgress, DurationText)
{
  EXPECT_EQ(DurationText(0), "0:00");
  EXPECT_EQ(DurationText(7999), "0:07");
  EXPECT_EQ(DurationText(754000), "12:34");
  EXPECT_EQ(DurationText(3723000), "1:02:03");
}
