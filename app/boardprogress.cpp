#include "app/boardprogress.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace orv {

namespace {

uint64_t Sum(const std::vector<uint64_t>& bytes_I, size_t from_I, size_t to_I)
{
  const auto begin = bytes_I.begin();
  return std::accumulate(begin + static_cast<std::ptrdiff_t>(std::min(from_I, bytes_I.size())),
                         begin + static_cast<std::ptrdiff_t>(std::min(to_I, bytes_I.size())), uint64_t{0});
}

// A board's update marks its start with 1 %, before its first transfer.
constexpr int32_t kStartMark = 1;

// What the current board still needs: at its own pace once it reports progress; before that (a scaler reports
// none until its last block) its bytes at the run's rate, less the time it has had.
double CurrentBoardLeftMs(const SBoardProgress& progress_I, const SRunTiming& timing_I, double msPerByte_I)
{
  if (timing_I.boardsFinished >= progress_I.index) return 0.0;
  const auto spent = static_cast<double>(timing_I.currentTransferMs);
  if (progress_I.percent > kStartMark) return spent * (100 - progress_I.percent) / progress_I.percent;
  return std::max(0.0, static_cast<double>(progress_I.bytesTotal) * msPerByte_I - spent);
}

}  // namespace

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
  progress.bytesTotal = Sum(images, progress.index - 1, progress.index);
  progress.bytesDone = progress.bytesTotal * static_cast<uint64_t>(progress.percent) / 100;
  progress.elapsedMs = elapsedMs_I;
  const size_t finished = std::min(timing_I.boardsFinished, progress.count);
  const uint64_t finishedBytes = Sum(images, 0, finished);
  double msPerByte = 0.0;
  if (finishedBytes > 0) {
    msPerByte = static_cast<double>(timing_I.finishedTransferMs) / static_cast<double>(finishedBytes);
  } else if (progress.bytesDone > 0) {
    msPerByte = static_cast<double>(timing_I.currentTransferMs) / static_cast<double>(progress.bytesDone);
  } else {
    return progress;
  }
  const double laterMs = static_cast<double>(Sum(images, progress.index, images.size())) * msPerByte;
  const uint64_t switchAverage = finished == 0 ? 0 : timing_I.switchMs / finished;
  progress.leftMs = static_cast<int64_t>(CurrentBoardLeftMs(progress, timing_I, msPerByte) + laterMs) +
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
