#include <filesystem>

#include "common/fwupdater/cfldeviceinterface.h"

#include "linux/common/clinuxdeviceevents.h"
#include "tests/linuxdevices/linuxdevicetest.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::test;

namespace {

// Two identical tablets, each one composite USB device with its pen and touch collections, behind one hub;
// the display's bluetooth module is a device of its own behind the display's own hub.
const char* const kTwoTabletsAndADisplay = R"({
  "nodes": [["USB\\VID_05E3&PID_0610\\HUB", "USB\\ROOT_HUB30\\1"],
            ["USB\\VID_4F52&PID_0101\\TAB1", "USB\\VID_05E3&PID_0610\\HUB"],
            ["USB\\VID_4F52&PID_0101\\TAB2", "USB\\VID_05E3&PID_0610\\HUB"],
            ["USB\\VID_4F52&PID_0200\\ORV16HUB", "USB\\ROOT_HUB30\\1"],
            ["USB\\VID_4F52&PID_0210\\ORV16", "USB\\VID_4F52&PID_0200\\ORV16HUB"],
            ["USB\\VID_4F52&PID_0211\\ORV16BT", "USB\\VID_4F52&PID_0200\\ORV16HUB"]],
  "devices": [
    {"kind": "hid", "pid": "0101", "usageId": "1", "interface": 0, "instance": 1, "parent": "USB\\VID_4F52&PID_0101\\TAB1"},
    {"kind": "hid", "pid": "0101", "usageId": "1", "interface": 0, "instance": 2, "parent": "USB\\VID_4F52&PID_0101\\TAB2"},
    {"kind": "i2c", "pid": "0101", "usageId": "2", "interface": 1, "instance": 3, "parent": "USB\\VID_4F52&PID_0101\\TAB2"},
    {"kind": "i2c", "pid": "0101", "usageId": "2", "interface": 1, "instance": 4, "parent": "USB\\VID_4F52&PID_0101\\TAB1"},
    {"kind": "hid", "pid": "0210", "usageId": "1", "interface": 0, "instance": 5, "parent": "USB\\VID_4F52&PID_0210\\ORV16",
     "inPlace": true, "protocol": 1},
    {"kind": "hid", "pid": "0211", "usageId": "3", "interface": 0, "instance": 6, "parent": "USB\\VID_4F52&PID_0211\\ORV16BT",
     "inPlace": true, "protocol": 1}
  ]
})";

// The tablet and the display as a package for them would describe them: pen and touch pair on the composite
// tablet two levels up; the display's pen and its bluetooth module on the display's hub, two levels up too.
const char* const kTopology = R"([
  {"name": "Tablet", "penBoard": {"pid": "0101", "interface": "HID", "usageId": "1", "usagePg": "FF0D", "topology": 2},
   "touchBoard": {"pid": "0101", "interface": "I2C", "usageId": "2", "usagePg": "FF0D", "topology": 2}},
  {"name": "Display", "penBoard": {"pid": "0210", "interface": "HID", "usageId": "1", "usagePg": "FF0D", "topology": 2},
   "bluetoothBoard": {"pid": "0211", "interface": "HID", "usageId": "3", "usagePg": "FF0D", "topology": 2}}
])";

using LinuxDeviceTree = CLinuxPortsTest;

}  // namespace

TEST_F(LinuxDeviceTree, LevelsFollowTheUsbDevicesAsWindowsCountsThem)
{
  Emulate(kTwoTabletsAndADisplay);
  const auto id = [this](const std::string& part_I, uint8_t levels_I) {
    return GetParentDeviceIdOfPath(*mHid, mBus->NodeOf(SimPath(part_I)), levels_I);
  };
  // A composite device has a node per interface: its collections part at level 1 and meet at level 2.
  EXPECT_NE(id("7&00000001", 1), id("7&00000004", 1));
  EXPECT_EQ(id("7&00000001", 2), id("7&00000004", 2));
  EXPECT_NE(id("7&00000001", 2), id("7&00000002", 2)) << "two tablets";
  EXPECT_EQ(id("7&00000001", 3), id("7&00000002", 3)) << "their hub";
  // A device with one interface has none: its collection's parent is the device.
  const std::filesystem::path hidraw = mBus->Syspath(SimPath("7&00000006"));
  EXPECT_EQ(id("7&00000006", 1), hidraw.parent_path().parent_path().parent_path().string());
  EXPECT_EQ(id("7&00000006", 2), id("7&00000005", 2)) << "the display's hub";
  EXPECT_EQ(id("7&00000001", 0), mHid->InstanceIdOfPath(mBus->NodeOf(SimPath("7&00000001"))));
  // Above the root the walk stays at the root; a node that is not there has no ancestors.
  EXPECT_EQ(id("7&00000001", 40), id("7&00000001", 41));
  EXPECT_EQ(GetParentDeviceIdOfPath(*mHid, "/dev/hidraw99", 1), "");
  EXPECT_EQ(mHid->GetAncestorId("/sys/devices/nothing", 0), "");
}

TEST_F(LinuxDeviceTree, DiscoveryPairsEachTabletsCollectionsAndTheDisplaysModule)
{
  Emulate(kTwoTabletsAndADisplay);
  const CScratchDir directory;
  const std::string topology = directory.Write("fw_loader.ini", kTopology);
  CDiscovery discovery(mHid, mUsb, std::make_shared<CLinuxDeviceEnumerator>(), topology);
  ASSERT_TRUE(discovery.Discover());
  const DeviceList& devices = discovery.GetDevices();
  ASSERT_EQ(devices.size(), 3u);
  for (const std::shared_ptr<CDevice>& device : devices) {
    ASSERT_TRUE(device->mPenInterface);
    const std::shared_ptr<CFLDeviceInterface> other = device->mName == "Tablet" ? device->mTouchInterface
                                                                                : device->mBluetoothInterface;
    ASSERT_TRUE(other) << device->mName;
    EXPECT_EQ(GetParentDeviceIdOfPath(*mHid, device->mPenInterface->GetPath(), 2),
              GetParentDeviceIdOfPath(*mHid, other->GetPath(), 2));
  }
}
