// The fixture of the emulated-device tests: a umockdev testbed, a simulated platform from a scenario mirrored
// into it, and the pumping clock installed for the test's lifetime.
#pragma once

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "linux/common/clinuxhidsystem.h"
#include "linux/common/clinuxusbsystem.h"
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

// The device ports of one user, sharing the record of the nodes refused to them.
class CLinuxPortsTest : public CLinuxDeviceTest {
 protected:
  std::shared_ptr<CLinuxAccessLog> mLog = std::make_shared<CLinuxAccessLog>();
  std::shared_ptr<CLinuxHidSystem> mHid = std::make_shared<CLinuxHidSystem>(mLog);
  std::shared_ptr<CLinuxUsbSystem> mUsb = std::make_shared<CLinuxUsbSystem>(mLog);
};

// What a source delivers for as long as the trail lives: arrivals as "+class path", removals as "-class path".
class CEventTrail : public CDeviceEventSink {
 public:
  explicit CEventTrail(CDeviceEventSource& events_I) : mEvents(events_I) { mEvents.Subscribe(this); }
  ~CEventTrail() override { mEvents.Unsubscribe(this); }
  CEventTrail(const CEventTrail&) = delete;
  CEventTrail& operator=(const CEventTrail&) = delete;

  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override { Add("+", class_I, path_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override { Add("-", class_I, path_I); }
  // The events due now, sorted.
  std::vector<std::string> Delivered()
  {
    mEvents.DeliverDueEvents();
    std::sort(mTrail.begin(), mTrail.end());
    return std::exchange(mTrail, {});
  }

 private:
  void Add(const char* change_I, EDeviceClass class_I, const std::string& path_I)
  {
    mTrail.push_back(change_I + std::string(class_I == EDEVICECLASS_HID ? "hid " : "bulk ") + path_I);
  }

  CDeviceEventSource& mEvents;
  std::vector<std::string> mTrail;
};

}  // namespace orv::test
