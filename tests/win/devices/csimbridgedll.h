// The test FTD2XX.dll's own controls: the bridge spends its time on the test's clock, and the scaler's flash
// can be read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/cclock.h"
#include "win/common/importwin32api.h"

namespace orv::test {

class CSimBridgeDll {
 public:
  // Loads the DLL and starts a fresh default display on the clock.
  explicit CSimBridgeDll(CClock& clock_I);
  ~CSimBridgeDll();
  CSimBridgeDll(const CSimBridgeDll&) = delete;
  CSimBridgeDll& operator=(const CSimBridgeDll&) = delete;

  // A scenario file or "default"; false when the DLL cannot use it.
  bool Load(const std::string& scenario_I);
  std::vector<uint8_t> ScalerFlash(uint32_t address_I, uint32_t count_I);

 private:
  using LoadFn = BOOL(WINAPI*)(const char*);
  using UseClockFn = void(WINAPI*)(CClock*);
  using FlashFn = DWORD(WINAPI*)(DWORD, BYTE*, DWORD);

  CWinImportLibrary mLibrary{L"FTD2XX.dll"};
  LoadFn mLoad = nullptr;
  UseClockFn mUseClock = nullptr;
  FlashFn mFlash = nullptr;
};

}  // namespace orv::test
