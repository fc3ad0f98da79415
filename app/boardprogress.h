// The arithmetic behind the progress details a view shows: bytes done, the run's overall percent and an
// estimate of the time it still needs.
#pragma once

#include <cstdint>
#include <string>

#include "app/cupdateview.h"

namespace orv {

// index_I counts from 0; percent_I is the board's own progress. The time left is estimated from the share of
// the whole run done so far, once there is enough of it to go by.
SBoardProgress EstimateBoardProgress(const std::u16string& board_I, size_t index_I, size_t count_I, int32_t percent_I,
                                     uint64_t bytesTotal_I, uint64_t elapsedMs_I);

// "0:07", "12:34", "1:02:03".
std::string DurationText(uint64_t milliseconds_I);

}  // namespace orv
