#include "app/boardprogress.h"

#include <algorithm>
#include <cstdio>

namespace orv {
namespace {

// Below this share of the run done, an estimate says more about the loader switch than about the run.
constexpr double kMinShareForEstimate = 0.02;

}  // namespace

SBoardProgress EstimateBoardProgress(const std::u16string& board_I, size_t index_I, size_t count_I, int32_t percent_I,
                                     uint64_t bytesTotal_I, uint64_t elapsedMs_I)
{
  SBoardProgress progress;
  progress.board = board_I;
  progress.count = std::max<size_t>(count_I, 1);
  progress.index = std::min(index_I, progress.count - 1) + 1;
  progress.percent = std::clamp(percent_I, 0, 100);
  const double share = ((progress.index - 1) * 100.0 + progress.percent) / (100.0 * static_cast<double>(progress.count));
  progress.overall = static_cast<int32_t>(share * 100.0);
  progress.bytesTotal = bytesTotal_I;
  progress.bytesDone = bytesTotal_I * static_cast<uint64_t>(progress.percent) / 100;
  progress.elapsedMs = elapsedMs_I;
  if (share >= kMinShareForEstimate) {
    progress.leftMs = static_cast<int64_t>(static_cast<double>(elapsedMs_I) * (1.0 - share) / share);
  }
  return progress;
}

std::string DurationText(uint64_t milliseconds_I)
{
  const uint64_t seconds = milliseconds_I / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof(text), "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof(text), "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

}  // namespace orv
