// Time: every pause of the system goes through the installed clock.
//
// The application runs on the real clock. Tests and the simulation install a virtual clock: a pause
// returns at once, advances virtual time and is recorded, so long waits cost no real time and their
// exact lengths can be checked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace orv {

class CClock {
 public:
  virtual ~CClock() = default;
  virtual void Pause(uint32_t milliseconds_I) = 0;
  // Milliseconds since an arbitrary start; only differences are meaningful.
  virtual uint64_t NowMs() = 0;
  // A thread that pauses on this clock from now on, until it leaves; only a shared virtual clock cares.
  virtual void Join() {}
  virtual void Leave() {}
  // Counts a thread about to be started as taking part already, so time waits for it; it joins on start.
  virtual void Expect() {}
};

// The installed clock (the real one unless a test or the simulation installed another).
CClock& Clock();
void Pause(uint32_t milliseconds_I);

class CRealClock : public CClock {
 public:
  void Pause(uint32_t milliseconds_I) override;
  uint64_t NowMs() override;
};

// Real time run faster: a pause sleeps for its length divided by the speed-up, and the clock reads the real
// time since its construction multiplied by it. Every wait of a run and every simulated device keep their
// proportions, so a simulated update can be watched in a window in a fraction of its real time.
class CScaledClock : public CClock {
 public:
  // speedUp_I of 0 counts as 1.
  explicit CScaledClock(uint32_t speedUp_I);
  void Pause(uint32_t milliseconds_I) override;
  uint64_t NowMs() override;

 private:
  const uint32_t mSpeedUp;
  const std::chrono::steady_clock::time_point mStart;
};

class CVirtualClock : public CClock {
 public:
  void Pause(uint32_t milliseconds_I) override;
  uint64_t NowMs() override;
  // Moves time on without a pause, as a simulated device does when it spends time working.
  void Advance(uint64_t milliseconds_I);
  std::vector<uint32_t> Pauses();
  void ClearPauses();

 private:
  std::mutex mLock;
  uint64_t mNow = 0;
  std::vector<uint32_t> mPauses;
};

// Virtual time shared by several threads (an event loop and a worker): time moves on only while every
// thread taking part is pausing, and then to the earliest moment one of them pauses for. A run of several
// threads is thereby replayed in order, without real sleeps. A thread that pauses without having joined
// takes part for the length of that pause.
class CScheduledClock : public CClock {
 public:
  void Pause(uint32_t milliseconds_I) override;
  uint64_t NowMs() override;
  void Join() override;
  void Leave() override;
  void Expect() override;

 protected:
  // Whether the calling thread pauses on behalf of another that waits for it meanwhile (a device answering
  // a call): its pause then counts as that thread's, not as one of its own.
  virtual bool PausesForAnother() const { return false; }

 private:
  void AdvanceIfAllPausing();

  std::mutex mLock;
  std::condition_variable mChanged;
  uint64_t mNow = 0;
  std::multiset<std::thread::id> mParticipants;
  size_t mExpected = 0;
  std::multiset<uint64_t> mWakeTimes;
};

// Takes part in the installed clock's time for its lifetime. A thread started by a participant should be
// announced with Clock().Expect() before it starts, and a participant that waits for another thread to end
// must leave the clock while it waits.
class CClockParticipant {
 public:
  CClockParticipant() : mClock(Clock()) { mClock.Join(); }
  ~CClockParticipant() { mClock.Leave(); }
  CClockParticipant(const CClockParticipant&) = delete;
  CClockParticipant& operator=(const CClockParticipant&) = delete;

 private:
  CClock& mClock;
};


// Installs a clock for the lifetime of this object and restores the previous one afterwards.
class CScopedClock {
 public:
  explicit CScopedClock(CClock& clock_I);
  ~CScopedClock();
  CScopedClock(const CScopedClock&) = delete;
  CScopedClock& operator=(const CScopedClock&) = delete;

 private:
  CClock* mPrevious;
};

}  // namespace orv
