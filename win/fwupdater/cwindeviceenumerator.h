// The present device interfaces of the HID class and of the bulk boards' class, as SetupAPI lists them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "win/fwupdater/cwinsystemcalls.h"

namespace orv {

// The device interface class of bulk boards: {103B887C-F5B0-46A6-856A-10CBA7460490}.
constexpr GUID kWinBulkInterfaceClass = {0x103B887C, 0xF5B0, 0x46A6, {0x85, 0x6A, 0x10, 0xCB, 0xA7, 0x46, 0x04, 0x90}};

class CWinDeviceEnumerator : public CDeviceEnumerator {
 public:
  // hidClass_I: the HID class's interface GUID, as HidD_GetHidGuid tells it.
  CWinDeviceEnumerator(std::shared_ptr<CWinSetupCalls> calls_I, const GUID& hidClass_I)
      : mCalls(std::move(calls_I)), mHidClass(hidClass_I)
  {
  }

  std::vector<std::string> EnumerateInterfacePaths(EDeviceClass class_I) override;

 private:
  std::vector<std::string> Enumerate(const GUID& class_I);
  std::optional<std::string> DevicePath(HDEVINFO set_I, SP_DEVICE_INTERFACE_DATA& member_I);

  std::shared_ptr<CWinSetupCalls> mCalls;
  GUID mHidClass;
};

}  // namespace orv
