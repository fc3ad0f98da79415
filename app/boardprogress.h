// The arithmetic behind the progress details a view shows: bytes done, the run's overall percent and an
// estimate of the time it still needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/cupdateview.h"

namespace orv {

// Where the run's time went so far, and the waits it knows are still ahead.
struct SRunTiming {
  // Bytes of every board of the list, in its order.
  std::vector<uint64_t> imageBytes;
  // Time spent programming the finished boards, and the current board so far.
  uint64_t finishedTransferMs = 0;
  uint64_t currentTransferMs = 0;
  // Time the finished boards spent on the rest of their updates (loader switches, re-enumerations).
  uint64_t switchMs = 0;
  size_t boardsFinished = 0;
  // Pauses still ahead, the one under way included.
  uint64_t pausesAheadMs = 0;
};

// index_I counts from 0; percent_I is the board's own progress. The time left is the bytes still to write at
// the rate the finished boards were written at (the current board's own while none has finished), plus the
// pauses ahead and the loader switches of the unfinished boards at their measured average; unknown until a
// rate is known.
SBoardProgress EstimateBoardProgress(const std::u16string& board_I, size_t index_I, size_t count_I, int32_t percent_I,
                                     uint64_t elapsedMs_I, const SRunTiming& timing_I);

// "0:07", "12:34", "1:02:03".
std::string DurationText(uint64_t milliseconds_I);

}  // namespace orv
