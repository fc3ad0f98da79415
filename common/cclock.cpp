#include "common/cclock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace orv {
namespace {

CRealClock& RealClock()
{
  static CRealClock clock;
  return clock;
}

std::atomic<CClock*>& Installed()
{
  static std::atomic<CClock*> installed{&RealClock()};
  return installed;
}

}  // namespace

void CRealClock::Pause(uint32_t milliseconds_I)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds_I));
}

uint64_t CRealClock::NowMs()
{
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

CScaledClock::CScaledClock(uint32_t speedUp_I)
    : mSpeedUp(speedUp_I == 0 ? 1 : speedUp_I), mStart(std::chrono::steady_clock::now())
{
}

void CScaledClock::Pause(uint32_t milliseconds_I)
{
  std::this_thread::sleep_for(std::chrono::microseconds(uint64_t{milliseconds_I} * 1000 / mSpeedUp));
}

uint64_t CScaledClock::NowMs()
{
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - mStart);
  return static_cast<uint64_t>(elapsed.count()) * mSpeedUp / 1000;
}

void CVirtualClock::Pause(uint32_t milliseconds_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mNow += milliseconds_I;
  mPauses.push_back(milliseconds_I);
}

uint64_t CVirtualClock::NowMs()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mNow;
}

void CVirtualClock::Advance(uint64_t milliseconds_I)
{
  std::lock_guard<std::mutex> guard(mLock);
  mNow += milliseconds_I;
}

std::vector<uint32_t> CVirtualClock::Pauses()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mPauses;
}

void CVirtualClock::ClearPauses()
{
  std::lock_guard<std::mutex> guard(mLock);
  mPauses.clear();
}

void CScheduledClock::Pause(uint32_t milliseconds_I)
{
  const bool standIn = PausesForAnother();
  std::unique_lock<std::mutex> lock(mLock);
  const std::thread::id self = std::this_thread::get_id();
  const bool visiting = !standIn && mParticipants.count(self) == 0;
  if (visiting) mParticipants.insert(self);
  const uint64_t wake = mNow + milliseconds_I;
  const auto entry = mWakeTimes.insert(wake);
  AdvanceIfAllPausing();
  mChanged.wait(lock, [this, wake] { return mNow >= wake; });
  mWakeTimes.erase(entry);
  if (visiting) mParticipants.erase(mParticipants.find(self));
}

uint64_t CScheduledClock::NowMs()
{
  std::lock_guard<std::mutex> guard(mLock);
  return mNow;
}

void CScheduledClock::Join()
{
  std::lock_guard<std::mutex> guard(mLock);
  mParticipants.insert(std::this_thread::get_id());
  if (mExpected > 0) --mExpected;
}

void CScheduledClock::Expect()
{
  std::lock_guard<std::mutex> guard(mLock);
  ++mExpected;
}

void CScheduledClock::Leave()
{
  std::lock_guard<std::mutex> guard(mLock);
  const auto found = mParticipants.find(std::this_thread::get_id());
  if (found != mParticipants.end()) mParticipants.erase(found);
  AdvanceIfAllPausing();
}

void CScheduledClock::AdvanceIfAllPausing()
{
  if (mWakeTimes.empty() || mWakeTimes.size() < mParticipants.size() + mExpected) return;
  mNow = std::max(mNow, *mWakeTimes.begin());
  mChanged.notify_all();
}

CClock& Clock() { return *Installed().load(); }

void Pause(uint32_t milliseconds_I) { Clock().Pause(milliseconds_I); }

CScopedClock::CScopedClock(CClock& clock_I) : mPrevious(Installed().exchange(&clock_I)) {}

CScopedClock::~CScopedClock() { Installed().store(mPrevious); }

}  // namespace orv
