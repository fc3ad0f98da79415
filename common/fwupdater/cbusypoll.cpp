#include "common/fwupdater/cbusypoll.h"

#include <algorithm>

#include "common/cclock.h"

namespace orv {
namespace {

// How many waits in a row the device was ready at the first poll before that poll is tried a little earlier.
constexpr uint32_t kProbeEvery = 16;

}  // namespace

void CBusyPoll::Start()
{
  mStartMs = Clock().NowMs();
  mPollMs = mStartMs;
  mPollBeforeMs = mStartMs;
  mPolls = 0;
}

bool CBusyPoll::Next()
{
  const uint64_t waited = Clock().NowMs() - mStartMs;
  if (waited >= mLimitMs) return false;
  const uint64_t late = waited - std::min(waited, mGuessMs);
  const uint64_t step = mPolls == 0 ? mGuessMs : std::clamp<uint64_t>(late / 4, 1, mCapMs);
  const uint64_t pause = std::min<uint64_t>(step, mLimitMs - waited);
  if (pause != 0) Pause(static_cast<uint32_t>(pause));
  mPollBeforeMs = mPollMs;
  mPollMs = Clock().NowMs();
  ++mPolls;
  return true;
}

void CBusyPoll::Ready()
{
  if (mPolls > 1) {
    mGuessMs = mPollBeforeMs - mStartMs + 1;
    mReadyAtOnce = 0;
    return;
  }
  if (++mReadyAtOnce % kProbeEvery == 0 && mGuessMs != 0) --mGuessMs;
}

}  // namespace orv
