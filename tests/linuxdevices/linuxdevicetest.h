// The fixture of the emulated-device tests: a umockdev testbed, a simulated platform from a scenario mirrored
// into it, and the pumping clock installed for the test's lifetime.
#pragma once

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "sim/csimplatform.h"
#include "tests/linuxdevices/emulateddevices.h"
#include "tests/linuxdevices/umockdevbed.h"

namespace orv::test {

// Root's file-access override capabilities leave the calling thread (and the threads it starts) for a while, so
// that file modes bind it as they bind a user.
class CScopedNoFileOverride {
 public:
  CScopedNoFileOverride()
  {
    syscall(SYS_capget, &mHeader, mSaved);
    __user_cap_data_struct reduced[2] = {mSaved[0], mSaved[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    syscall(SYS_capset, &mHeader, reduced);
  }
  ~CScopedNoFileOverride() { syscall(SYS_capset, &mHeader, mSaved); }
  CScopedNoFileOverride(const CScopedNoFileOverride&) = delete;
  CScopedNoFileOverride& operator=(const CScopedNoFileOverride&) = delete;

 private:
  __user_cap_header_struct mHeader{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct mSaved[2]{};
};

class CLinuxDeviceTest : public ::testing::Test {
 protected:
  CLinuxDeviceTest() : mInstalled(mClock) {}
  ~CLinuxDeviceTest() override { mClock.SetPump(nullptr); }

  // Builds the simulated platform of a scenario (its text, a file, or "default") and mirrors it; with its
  // FTDI bridge when the scenario has a scaler.
  void Emulate(const std::string& scenario_I)
  {
    std::string error;
    mPlatform = scenario_I.find('{') == std::string::npos ? sim::CSimPlatform::Create(scenario_I, error)
                                                          : sim::CSimPlatform::CreateFromText(scenario_I, error);
    ASSERT_TRUE(mPlatform) << error;
    mBus = std::make_unique<CEmulatedBus>(mBed, *mPlatform);
    mBus->Start(mPlatform->Scaler() ? &mPlatform->D2XX() : nullptr);
    mClock.SetPump([this] { mBus->Pump(); });
  }

  // The simulated path of the first HID interface on the bus whose path contains the text.
  std::string SimPath(const std::string& part_I)
  {
    for (const std::string& path : mPlatform->Bus()->EnumerateInterfacePaths(EDEVICECLASS_HID)) {
      if (path.find(part_I) != std::string::npos) return path;
    }
    return "";
  }

  CPumpingClock mClock;
  CScopedClock mInstalled;
  CUmockdevBed mBed;
  std::unique_ptr<sim::CSimPlatform> mPlatform;
  std::unique_ptr<CEmulatedBus> mBus;
};

}  // namespace orv::test
