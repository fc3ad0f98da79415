// Time: every pause of the system goes through the installed clock.
//
// The application runs on the real clock. Tests and the simulation install a virtual clock: a pause
// returns at once, advances virtual time and is recorded, so long waits cost no real time and their
// exact lengths can be checked.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace orv {

class CClock {
 public:
  virtual ~CClock() = default;
  virtual void Pause(uint32_t milliseconds_I) = 0;
  // Milliseconds since an arbitrary start; only differences are meaningful.
  virtual uint64_t NowMs() = 0;
};

class CRealClock : public CClock {
 public:
  void Pause(uint32_t milliseconds_I) override;
  uint64_t NowMs() override;
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

// The installed clock (the real one unless a test or the simulation installed another).
CClock& Clock();
void Pause(uint32_t milliseconds_I);

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
