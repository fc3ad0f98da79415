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
  // Time spent transferring (programming), and on the rest of the boards' updates (loader switches,
  // re-enumerations), over the boards that finished.
  uint64_t transferMs = 0;
  uint64_t switchMs = 0;
  size_t boardsFinished = 0;
  // Pauses still ahead, the one under way included.
  uint64_t pausesAheadMs = 0;
};

// index_I counts from 0; percent_I is the board's own progress. The time left is the bytes still to write at
// the rate measured so far, plus the pauses ahead and the loader switches of the unfinished boards at their
// measured average; unknown until the first bytes are written.
SBoardProgress EstimateBoardProgress(const std::u16string& board_I, size_t index_I, size_t count_I, int32_t percent_I,
                                     uint64_t elapsedMs_I, const SRunTiming& timing_I);

// "0:07", "12:34", "1:02:03".
std::string DurationText(uint64_t milliseconds_I);

}  // namespace orv
