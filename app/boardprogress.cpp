#include "app/boardprogress.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace orv {

SBoardProgress EstimateBoardProgress(const std::u16string& board_I, size_t index_I, size_t count_I, int32_t percent_I,
                                     uint64_t elapsedMs_I, const SRunTiming& timing_I)
{
  SBoardProgress progress;
  progress.board = board_I;
  progress.count = std::max<size_t>(count_I, 1);
  progress.index = std::min(index_I, progress.count - 1) + 1;
  progress.percent = std::clamp(percent_I, 0, 100);
  const double share = ((progress.index - 1) * 100.0 + progress.percent) / (100.0 * static_cast<double>(progress.count));
  // A full bar says the run has ended, which only its end says.
  progress.overall = std::min(static_cast<int32_t>(share * 100.0), 99);
  const std::vector<uint64_t>& images = timing_I.imageBytes;
  const size_t current = std::min(progress.index - 1, images.size());
  progress.bytesTotal = current < images.size() ? images[current] : 0;
  progress.bytesDone = progress.bytesTotal * static_cast<uint64_t>(progress.percent) / 100;
  progress.elapsedMs = elapsedMs_I;
  const auto currentImage = images.begin() + static_cast<std::ptrdiff_t>(current);
  const uint64_t runDone = std::accumulate(images.begin(), currentImage, progress.bytesDone);
  const uint64_t runTotal = std::accumulate(images.begin(), images.end(), uint64_t{0});
  if (runDone == 0) return progress;
  const double msPerByte = static_cast<double>(timing_I.transferMs) / static_cast<double>(runDone);
  const size_t finished = std::min(timing_I.boardsFinished, progress.count);
  const uint64_t switchAverage = finished == 0 ? 0 : timing_I.switchMs / finished;
  progress.leftMs = static_cast<int64_t>(static_cast<double>(runTotal - std::min(runDone, runTotal)) * msPerByte) +
                    static_cast<int64_t>(timing_I.pausesAheadMs + switchAverage * (progress.count - finished));
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
