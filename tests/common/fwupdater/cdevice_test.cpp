#include <gtest/gtest.h>

#include "common/fwupdater/cdevice.h"
#include "common/fwupdater/chidfldeviceinterface.h"

using namespace orv;

namespace {

// An interface with a path and a mode and no system to reach a board through: enough for the device queries.
std::shared_ptr<CFLDeviceInterface> Interface(const std::string& path_I, bool loader_I = false)
{
  auto made = std::make_shared<CHIDFLDeviceInterface>(path_I, nullptr);
  made->SetLoaderMode(loader_I);
  return made;
}

std::shared_ptr<CDevice> Device(const std::string& name_I)
{
  auto device = std::make_shared<CDevice>();
  device->mName = name_I;
  return device;
}

}  // namespace

TEST(Device, DescriptionListsEveryBoard)
{
  CDevice device;
  device.mName = "Tablet";
  device.mIsLoader = true;
  device.mSectors = {32, 22, 1};
  device.mUsageId = {1, 2, 3};
  device.mUsagePage = {0xFF0D, 0xFF0D, 0xFF0D};
  device.mInitEeprom = {true, false, false};
  device.mPenInterface = Interface("\\\\?\\hid#pen", true);
  device.mHasTouch = true;
  device.mBluetoothInterface = Interface("bt");
  device.mHasBluetooth = true;
  const std::string text = device.GetDescription();
  EXPECT_TRUE(text.starts_with("[Tablet] (LOADER MODE)\nLOADER INTERFACE:\n\tSectors = 32\n"
                               "\tUsageId (Non-HidRouter) = 1\n\tUsagePage (Non-HidRouter) = 65293\n"
                               "\tInit Eeprom = YES\n\tVendor ID = 0x0\n"))
      << text;
  EXPECT_NE(text.find("\tFirmware Loader = YES\n\tIs Open = NO\n\tInterface = HID\n\tPath = \\\\?\\hid#pen\n"),
            std::string::npos);
  EXPECT_NE(text.find("TOUCH INTERFACE NOT FOUND\nBLUETOOTH INTERFACE:\n\tSectors = 1\n\tUsageId = 3\n"),
            std::string::npos);
  device.mHasTouch = false;
  EXPECT_NE(device.GetDescription().find("TOUCH INTERFACE NOT SUPPORTED\n"), std::string::npos);
  device.mPenInterface = nullptr;
  EXPECT_EQ(device.GetDescription(), "") << "nothing without a pen interface";
}

TEST(Device, GetDeviceMatchesPathsIgnoringCase)
{
  auto first = Device("first");
  first->mPenInterface = Interface("\\\\?\\HID#VID_4F52&PID_0101#1");
  auto second = Device("second");
  second->mPenInterface = Interface("pen2");
  second->mTouchInterface = Interface("\\\\?\\HID#VID_4F52&PID_0102#2");
  const DeviceList devices{first, second};
  EXPECT_EQ(GetDevice(devices, "\\\\?\\hid#vid_4f52&pid_0101#1"), first);
  EXPECT_EQ(GetDevice(devices, "\\\\?\\HID#VID_4F52&PID_0102#2"), second);
  EXPECT_EQ(GetDevice(devices, "\\\\?\\HID#VID_4F52&PID_0102#"), nullptr);
  EXPECT_EQ(GetDevice({}, "x"), nullptr);
  // A hidraw node names the device one of whose collections it carries, and no other.
  auto tablet = Device("tablet");
  tablet->mTouchInterface = Interface("/dev/hidraw30#col01");
  tablet->mPenInterface = Interface("/dev/hidraw3#col02");
  EXPECT_EQ(GetDevice({first, tablet}, "/dev/hidraw3"), tablet);
  for (const char* other : {"/dev/hidraw", "/dev/hidraw3#col01", "/dev/hidraw3#", "/dev/hidraw30#col0"}) {
    EXPECT_EQ(GetDevice({tablet}, other), nullptr) << other;
  }
  tablet->mPenInterface = nullptr;
  EXPECT_EQ(GetDevice({tablet}, "/dev/hidraw3"), nullptr);
}

TEST(Device, GetDeviceMatchesScalersByDecimalIds)
{
  auto display = Device("display");
  display->mHasScalar = true;
  display->mVendorId[EUPDATETYPE_SCALAR] = 0x5C23;
  display->mProductId[EUPDATETYPE_SCALAR] = 0x1063;
  auto other = Device("other");
  other->mHasScalar = true;
  other->mVendorId[EUPDATETYPE_SCALAR] = 0x5C23;
  other->mProductId[EUPDATETYPE_SCALAR] = 0x1061;
  const std::string vendor = std::to_string(0x5C23);
  EXPECT_EQ(GetDevice({other, display}, vendor + ":4192"), display);  // 0x1060 stands for 0x1063
  EXPECT_EQ(GetDevice({other, display}, vendor + ":4193"), other);
  EXPECT_EQ(GetDevice({display}, vendor + ":4193"), nullptr);
  for (const std::string& path : std::vector<std::string>{vendor, vendor + ":x", "x:4192", vendor + ":99999999999",
                                                          "\\\\?\\" + vendor + ":4192"}) {
    EXPECT_EQ(GetDevice({display}, path), nullptr) << path;
  }
  display->mHasScalar = false;
  EXPECT_EQ(GetDevice({display}, vendor + ":4195"), nullptr);
}

TEST(Device, ProductIdAndDefaultDeviceQueries)
{
  auto tablet = Device("tablet");
  tablet->mVendorId = {DefaultVendorId, 0, 0, 0};
  tablet->mProductId = {0x101, 0, 0, 0};
  auto display = Device("display");
  display->mVendorId = {0x1234, DefaultVendorId, DefaultVendorId, 0x5C23};
  display->mProductId = {0x210, 0x211, 0x212, 0x1063};
  EXPECT_EQ(FindDeviceByProductId({tablet, display}, 0x101), tablet);
  EXPECT_EQ(FindDeviceByProductId({tablet, display}, 0x212), display);
  EXPECT_EQ(FindDeviceByProductId({tablet, display}, 0x210), nullptr);  // another vendor's pen board
  EXPECT_EQ(GetDefaultDevice({}), nullptr);
  EXPECT_EQ(GetDefaultDevice({tablet, display}), tablet);
  display->mIsLoader = true;
  EXPECT_EQ(GetDefaultDevice({tablet, display}), display);
}
