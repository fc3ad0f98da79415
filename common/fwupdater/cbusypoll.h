// Waiting for a device that answers "busy" until it says ready. The first poll of a wait comes when the last
// wait ended, the device being likely to take as long again; once the device is later than that, the polls
// come close together at first and further apart as it grows later (a quarter of the delay, up to a cap), so
// a quick device is not kept waiting by a fixed sleep and a slow or hung one is not flooded with polls.
#pragma once

#include <cstdint>

namespace orv {

class CBusyPoll {
 public:
  // limitMs_I: how long one wait may take in all; capMs_I: the longest pause between two polls.
  CBusyPoll(uint32_t limitMs_I, uint32_t capMs_I) : mLimitMs(limitMs_I), mCapMs(capMs_I) {}

  // The request waited for has just been sent: its wait starts now.
  void Start();
  // Pauses until the next poll is due; false, without a pause, once the wait has used up its limit.
  bool Next();
  // The last poll found the device ready. Ready at the first poll, the guess stands (every so often a
  // millisecond shorter, so that a device grown quicker is noticed); ready only after busy answers, it became
  // ready after the poll before, which is the next guess.
  void Ready();

 private:
  const uint32_t mLimitMs;
  const uint32_t mCapMs;
  uint64_t mGuessMs = 0;
  uint64_t mStartMs = 0;
  uint64_t mPollMs = 0;
  uint64_t mPollBeforeMs = 0;
  uint32_t mPolls = 0;
  uint32_t mReadyAtOnce = 0;
};

}  // namespace orv
