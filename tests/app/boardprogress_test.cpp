#include <gtest/gtest.h>

#include "app/boardprogress.h"

using namespace orv;

// The time left is the bytes still to write at the rate measured so far plus the waits known to be ahead:
// the pauses between boards and the loader switches of the unfinished boards at their measured average.
TEST(BoardProgress, BytesOverallShareAndTimeLeft)
{
  // Second of four boards of 1000, 2000, 1000 and 4000 bytes, half done in 2 s: the first board's 1000 bytes
  // took 2 s, so this board needs 2 s more and the last two 10 s; three pauses of 10 s are ahead, and three
  // unfinished boards at the first board's 2 s of switching.
  SRunTiming timing{{1000, 2000, 1000, 4000}, 2000, 2000, 2000, 1, 30000};
  SBoardProgress progress = EstimateBoardProgress(u"touch", 1, 4, 50, 20000, timing);
  EXPECT_EQ(progress.index, 2u);
  EXPECT_EQ(progress.count, 4u);
  EXPECT_EQ(progress.overall, 37);
  EXPECT_EQ(progress.bytesDone, 1000u);
  EXPECT_EQ(progress.bytesTotal, 2000u);
  EXPECT_EQ(progress.leftMs, 2000 + 10000 + 30000 + 3 * 2000);
  // A board that reports no progress until its end (the scaler) counts down at the finished boards' rate.
  EXPECT_EQ(EstimateBoardProgress(u"scalar", 1, 2, 0, 9000, {{1000, 4000}, 1000, 3000, 0, 1, 10000}).leftMs, 11000);
  // Unknown until a rate is known; values out of range held to it; a full bar only at the end.
  EXPECT_EQ(EstimateBoardProgress(u"pen", 0, 4, 0, 5000, {{100, 100, 100, 100}, 0, 0, 0, 0, 40000}).leftMs, -1);
  progress = EstimateBoardProgress(u"pen", 7, 0, 250, 5000, {{100}, 1000, 0, 0, 1, 10000});
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
