#include "tests/win/devices/csimbridgedll.h"

#include <gtest/gtest.h>

namespace orv::test {

CSimBridgeDll::CSimBridgeDll(CClock& clock_I)
{
  mLoad = reinterpret_cast<LoadFn>(mLibrary.GetProc("OrvelSimLoad"));
  mUseClock = reinterpret_cast<UseClockFn>(mLibrary.GetProc("OrvelSimUseClock"));
  mFlash = reinterpret_cast<FlashFn>(mLibrary.GetProc("OrvelSimScalerFlash"));
  if (!mLoad || !mUseClock || !mFlash) {
    ADD_FAILURE() << "FTD2XX.dll with its simulation controls is not next to the test program";
    return;
  }
  mUseClock(&clock_I);
  EXPECT_TRUE(Load("default"));
}

CSimBridgeDll::~CSimBridgeDll()
{
  if (mUseClock) mUseClock(nullptr);
}

bool CSimBridgeDll::Load(const std::string& scenario_I) { return mLoad && mLoad(scenario_I.c_str()); }

std::vector<uint8_t> CSimBridgeDll::ScalerFlash(uint32_t address_I, uint32_t count_I)
{
  std::vector<uint8_t> flash(count_I, 0);
  if (mFlash) flash.resize(mFlash(address_I, flash.data(), count_I));
  return flash;
}

}  // namespace orv::test
