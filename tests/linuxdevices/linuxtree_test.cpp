#include <filesystem>

#include "common/fwupdater/cdevicetree.h"
#include "tests/linuxdevices/linuxdevicetest.h"

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
