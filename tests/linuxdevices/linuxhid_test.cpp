#include <algorithm>

#include "common/fwupdater/chidfldeviceinterface.h"
#include "linux/common/clinuxdeviceevents.h"
#include "linux/common/clinuxhidsystem.h"
#include "linux/common/clinuxudev.h"
#include "tests/linuxdevices/linuxdevicetest.h"

using namespace orv;
using namespace orv::test;

namespace {

// The demo pen display's pen, touch and bluetooth boards (its scaler is left out here), the pen already in
// its loader.
const char* const kDisplay = R"({
  "nodes": [["USB\\VID_4F52&PID_0210\\ORV16", "USB\\ROOT_HUB30\\1"],
            ["USB\\VID_4F52&PID_0211\\ORV16BT", "USB\\VID_4F52&PID_0210\\ORV16"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0210", "usageId": "1", "interface": 0, "instance": 1,
     "parent": "USB\\VID_4F52&PID_0210\\ORV16", "inPlace": true, "protocol": 1, "blocks": 4,
     "startInLoader": true},
    {"kind": "hid", "name": "touch", "pid": "0210", "usageId": "2", "interface": 1, "instance": 2,
     "parent": "USB\\VID_4F52&PID_0210\\ORV16", "inPlace": true, "protocol": 1, "blocks": 4},
    {"kind": "hid", "name": "bluetooth", "pid": "0211", "usageId": "3", "interface": 0, "instance": 3,
     "parent": "USB\\VID_4F52&PID_0211\\ORV16BT", "inPlace": true, "protocol": 1, "blocks": 4}
  ]
})";

class LinuxHid : public CLinuxDeviceTest {
 protected:
  std::shared_ptr<CLinuxAccessLog> mLog = std::make_shared<CLinuxAccessLog>();
  CLinuxHidSystem mHid{mLog};
};

}  // namespace

TEST_F(LinuxHid, EachCollectionIsFoundWithItsIdentityUsageAndReports)
{
  Emulate(kDisplay);
  const std::vector<std::string> paths = CLinuxDeviceEnumerator().EnumerateInterfacePaths(EDEVICECLASS_HID);
  ASSERT_EQ(paths.size(), 3u);
  const std::string penNode = mBus->NodeOf(SimPath("PID_0210&MI_00"));
  ASSERT_NE(std::find(paths.begin(), paths.end(), penNode), paths.end());

  CHIDFLDeviceInterface pen(penNode, std::shared_ptr<CHidSystem>(&mHid, [](CHidSystem*) {}));
  ASSERT_TRUE(pen.QueryAttributes());
  EXPECT_EQ(pen.GetVendorId(), 0x4F52);
  EXPECT_EQ(pen.GetProductId(), 0x0210);
  EXPECT_EQ(pen.GetUsage(), 1);
  EXPECT_EQ(pen.GetUsagePage(), 0xFF0D);
  EXPECT_EQ(pen.GetVersion(), 0x0100u);
  // The flash-loader reports go through the node.
  ASSERT_TRUE(pen.Open());
  pen.SetLoaderMode(true);
  CFLDeviceInterface::SetProtocolType(1);
  EXPECT_TRUE(pen.ReadLoaderParameters());
  EXPECT_EQ(pen.GetLoaderParameters().blocks, 4);
}

TEST_F(LinuxHid, ANodeWithSeveralCollectionsShowsEachUnderItsNumber)
{
  const std::string usb = mBed.Add("usb", "2-1", "", {"idVendor", "4f52", "idProduct", "0101", "bcdDevice", "0103",
                                                      "bNumInterfaces", " 1", "busnum", "2\n", "devnum", "2\n", "dev", "189:129"},
                                   {"DEVTYPE", "usb_device", "DEVNAME", "/dev/bus/usb/002/002"});
  const std::string interface = mBed.Add("usb", "2-1:1.0", usb, {"bInterfaceClass", "03"}, {"DEVTYPE", "usb_interface"});
  const std::string hid = mBed.Add("hid", "0003:4F52:0101.0001", interface, {}, {"HID_ID", "0003:00004F52:00000101"});
  const std::vector<uint8_t> descriptor = CollectionsDescriptor({{2, 0x0D}, {1, 0xFF0D}});
  mBed.SetBinary(hid, "report_descriptor", descriptor);
  auto node = std::make_shared<CEmulatedHidNode>(nullptr, descriptor);
  mBed.CreateNode("/dev/hidraw7", [node](CIoctlCall& call_IO) { node->Handle(call_IO); });
  mBed.Add("hidraw", "hidraw7", hid, {"dev", "241:7"}, {"DEVNAME", "/dev/hidraw7"});

  const std::vector<std::string> paths = CLinuxDeviceEnumerator().EnumerateInterfacePaths(EDEVICECLASS_HID);
  ASSERT_EQ(paths, (std::vector<std::string>{"/dev/hidraw7#col01", "/dev/hidraw7#col02"}));
  SHidCaps caps;
  const std::unique_ptr<CHidDevice> second = mHid.Open("/dev/hidraw7#col02");
  ASSERT_TRUE(second && second->GetCaps(caps));
  EXPECT_EQ(caps.usage, 1);
  EXPECT_EQ(caps.usagePage, 0xFF0D);
  // A collection the descriptor does not declare opens, but cannot be identified.
  const std::unique_ptr<CHidDevice> third = mHid.Open("/dev/hidraw7#col03");
  ASSERT_TRUE(third);
  EXPECT_FALSE(third->GetCaps(caps));
  EXPECT_FALSE(mHid.Open("/dev/hidraw7#colXY"));
  EXPECT_FALSE(mHid.Open("/dev/sda"));
  // Both collections hang in the node of the one HID device; one level up is the plain USB device.
  EXPECT_EQ(mHid.GetAncestorId(mHid.InstanceIdOfPath("/dev/hidraw7#col01"), 1), usb);
  EXPECT_EQ(mHid.InstanceIdOfPath("/dev/hidraw7#col02"), hid + "#col02");
}

TEST_F(LinuxHid, ATransferThatFailsOrComesBackShortIsAFailure)
{
  Emulate(kDisplay);
  const std::string penPath = SimPath("PID_0210&MI_00");
  const std::shared_ptr<CEmulatedHidNode> node = mBus->HidNode(penPath);
  const std::unique_ptr<CHidDevice> pen = mHid.Open(mBus->NodeOf(penPath));
  ASSERT_TRUE(pen);
  // The loader's parameters under the second numbering: report D8, 13 bytes.
  std::vector<uint8_t> parameters(13, 0);
  parameters[0] = 0xD8;
  ASSERT_TRUE(pen->GetFeature(parameters));
  EXPECT_EQ(parameters[0], 0xD8);
  EXPECT_EQ(parameters[9] | parameters[10] << 8, 4) << "blocks";

  for (const ENodeFault fault : {ENODEFAULT_EIO, ENODEFAULT_SHORT}) {
    node->InjectFault(node->Transfers() + 1, 2, fault);
    std::vector<uint8_t> request(13, 0);
    request[0] = 0xD8;
    EXPECT_FALSE(pen->GetFeature(request)) << fault;
    EXPECT_EQ(request, std::vector<uint8_t>({0xD8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})) << "left as it was";
    EXPECT_FALSE(pen->SetFeature({0xD4, 0, 0, 0, 0})) << fault;
  }
  // A report the board refuses (a wrong length) stalls.
  EXPECT_FALSE(pen->SetFeature({0xD4, 0, 0}));
  EXPECT_FALSE(pen->SetFeature({}));
  node->InjectFault(node->Transfers() + 1, 1, ENODEFAULT_ENODEV);
  EXPECT_FALSE(pen->SetFeature({0xD4, 0, 0, 0, 0}));
  EXPECT_FALSE(pen->GetFeature(parameters)) << "the device is gone";
}

TEST_F(LinuxHid, ANodeWithoutPermissionIsNamedWithTheUdevRules)
{
  Emulate(kDisplay);
  const std::string node = mBus->NodeOf(SimPath("PID_0211"));
  mBed.Chmod(node, 0);
  {
    const CScopedNoFileOverride user;
    EXPECT_FALSE(mHid.Open(node));
  }
  EXPECT_TRUE(mHid.Open(mBus->NodeOf(SimPath("PID_0210&MI_00"))));
  ASSERT_EQ(mLog->RefusedNodes(), std::vector<std::string>{node});
  const std::string advice = PermissionAdvice(node, NodeIdentity(node));
  EXPECT_NE(advice.find("no permission to open " + node + " (4F52:0211)"), std::string::npos) << advice;
  EXPECT_NE(advice.find(kUdevRulesName), std::string::npos) << advice;
}
