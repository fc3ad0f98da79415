// The test FTD2XX.dll next to the test program answers with a D2XX device of the test's (the simulated
// bridge) for the lifetime of this object.
#pragma once

#include <gtest/gtest.h>

#include "common/osd/cd2xx.h"
#include "win/common/importwin32api.h"

namespace orv::test {

class CSimBridgeDll {
 public:
  explicit CSimBridgeDll(CD2XX& device_I) { Install(&device_I); }
  ~CSimBridgeDll() { Install(nullptr); }
  CSimBridgeDll(const CSimBridgeDll&) = delete;
  CSimBridgeDll& operator=(const CSimBridgeDll&) = delete;

 private:
  void Install(CD2XX* device_I)
  {
    const auto install = reinterpret_cast<void (*)(CD2XX*)>(mLibrary.GetProc("OrvelInstallD2XX"));
    if (install == nullptr) {
      ADD_FAILURE() << "FTD2XX.dll with OrvelInstallD2XX is not next to the test program";
      return;
    }
    install(device_I);
  }

  CWinImportLibrary mLibrary{L"FTD2XX.dll"};
};

}  // namespace orv::test
