#include "common/fwupdater/chidfldeviceinterface.h"
#include "linux/common/clinuxdeviceevents.h"
#include "linux/common/clinuxudev.h"
#include "tests/linuxdevices/linuxdevicetest.h"
#include "tests/testsupport/testfiles.h"

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

// A board behind a HID router, its loader running from the start.
const char* const kRouterLoader = R"({"devices": [
  {"kind": "hid", "name": "pen", "pid": "0100", "usageId": "A", "usagePg": "FF00", "startInLoader": true,
   "blockStart": "0", "blockSize": 4096, "blocks": 8}]})";

using LinuxHid = CLinuxPortsTest;

// A USB device of 4F52 on bus 2 with one HID interface, whose hidraw node (/dev/hidraw<number_I>) the node
// answers; the syspaths of the USB device and the HID device.
std::pair<std::string, std::string> AddHidDevice(CUmockdevBed& bed_I, uint16_t productId_I, unsigned number_I,
                                                 const std::shared_ptr<CEmulatedHidNode>& node_I)
{
  const std::string usb = AddUsbDevice(bed_I, {"", "2-1", 2, 0x4F52, productId_I, 0x0103, 1, 0x03});
  const std::string interface = bed_I.Add("usb", "2-1:1.0", usb, {"bInterfaceClass", "03"}, {"DEVTYPE", "usb_interface"});
  const std::string product = Format("%04X", productId_I);
  const std::string hid =
      bed_I.Add("hid", "0003:4F52:" + product + ".0001", interface, {}, {"HID_ID", "0003:00004F52:0000" + product});
  bed_I.SetBinary(hid, "report_descriptor", node_I->Descriptor());
  const std::string name = "hidraw" + std::to_string(number_I);
  bed_I.CreateNode("/dev/" + name, [node_I](CIoctlCall& call_IO) { node_I->Handle(call_IO); });
  bed_I.Add("hidraw", name, hid, {"dev", "241:" + std::to_string(number_I)}, {"DEVNAME", "/dev/" + name});
  return {usb, hid};
}

// A collection of a device that numbers no reports: what it was sent and what it answers.
class CNumberlessHandle : public CHidDevice {
 public:
  explicit CNumberlessHandle(std::vector<std::vector<uint8_t>>& sets_O) : mSets(sets_O) {}
  bool GetAttributes(SHidAttributes&) override { return false; }
  bool GetCaps(SHidCaps&) override { return false; }
  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    mSets.push_back(report_I);
    return true;
  }
  bool GetFeature(std::vector<uint8_t>& report_IO) override
  {
    for (size_t i = 1; i < report_IO.size(); ++i) report_IO[i] = static_cast<uint8_t>(0xA0 + i);
    return true;
  }

 private:
  std::vector<std::vector<uint8_t>>& mSets;
};

}  // namespace

TEST_F(LinuxHid, ANodeWithSeveralCollectionsShowsEachUnderItsNumber)
{
  auto node = std::make_shared<CEmulatedHidNode>(
      nullptr, std::vector<SFirmwareCollection>{{{2, 0x0D}, {{0x02, 64, 2, 2}}}, {{1, 0xFF0D}, {{0x03, 64, 2, 2}}}});
  const auto [usb, hid] = AddHidDevice(mBed, 0x0101, 7, node);

  const std::vector<std::string> paths = CLinuxDeviceEnumerator().EnumerateInterfacePaths(EDEVICECLASS_HID);
  ASSERT_EQ(paths, (std::vector<std::string>{"/dev/hidraw7#col01", "/dev/hidraw7#col02"}));
  SHidCaps caps;
  const std::unique_ptr<CHidDevice> second = mHid->Open("/dev/hidraw7#col02");
  ASSERT_TRUE(second && second->GetCaps(caps));
  EXPECT_EQ(caps.usage, 1);
  EXPECT_EQ(caps.usagePage, 0xFF0D);
  // A collection the descriptor does not declare opens, but cannot be identified.
  const std::unique_ptr<CHidDevice> third = mHid->Open("/dev/hidraw7#col03");
  ASSERT_TRUE(third);
  EXPECT_FALSE(third->GetCaps(caps));
  EXPECT_FALSE(third->SetFeature({0x02, 0x00})) << "nor does it declare any report";
  EXPECT_EQ(node->Transfers(), 0u);
  EXPECT_FALSE(mHid->Open("/dev/hidraw7#colXY"));
  EXPECT_FALSE(mHid->Open("/dev/sda"));
  // Both collections hang in the node of the one HID device; one level up is the plain USB device.
  EXPECT_EQ(mHid->GetAncestorId(mHid->InstanceIdOfPath("/dev/hidraw7#col01"), 1), usb);
  EXPECT_EQ(mHid->InstanceIdOfPath("/dev/hidraw7#col02"), hid + "#col02");
}

TEST_F(LinuxHid, ATransferThatFailsOrComesBackShortIsAFailure)
{
  Emulate(kDisplay);
  const std::string penPath = SimPath("PID_0210&MI_00");
  const std::shared_ptr<CEmulatedHidNode> node = mBus->HidNode(penPath);
  const std::unique_ptr<CHidDevice> pen = mHid->Open(mBus->NodeOf(penPath));
  ASSERT_TRUE(pen);
  // The loader's parameters under the second numbering: report D8, 13 bytes.
  const std::vector<uint8_t> ask{0xD8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> parameters = ask;
  ASSERT_TRUE(pen->GetFeature(parameters));
  EXPECT_EQ(parameters[0], 0xD8);
  EXPECT_EQ(parameters[9] | parameters[10] << 8, 4) << "blocks";

  for (const ENodeFault fault : {ENODEFAULT_EIO, ENODEFAULT_SHORT, ENODEFAULT_OTHERID}) {
    node->InjectFault(node->Transfers() + 1, 2, fault);
    std::vector<uint8_t> request = ask;
    EXPECT_FALSE(pen->GetFeature(request)) << fault;
    EXPECT_EQ(request, ask) << "left as it was";
    EXPECT_EQ(pen->SetFeature({0xD4, 0, 0, 0, 0}), fault == ENODEFAULT_OTHERID) << fault << ": a set has no answer";
  }
  // A short report goes out padded to its declared length; one the board refuses stalls.
  EXPECT_TRUE(pen->SetFeature({0xD4, 0, 0}));
  EXPECT_FALSE(pen->SetFeature({0xD6, 0x00})) << "leaving the loader in neither form";
  EXPECT_FALSE(pen->SetFeature({}));
  node->InjectFault(node->Transfers() + 1, 1, ENODEFAULT_ENODEV);
  EXPECT_FALSE(pen->SetFeature({0xD4, 0, 0, 0, 0}));
  EXPECT_FALSE(pen->GetFeature(parameters)) << "the device is gone";
}

TEST_F(LinuxHid, FeatureReportsGoOutAtTheLengthTheirCollectionDeclares)
{
  Emulate(kDisplay);
  const std::shared_ptr<CEmulatedHidNode> touchNode = mBus->HidNode(SimPath("PID_0210&MI_01"));
  const std::unique_ptr<CHidDevice> touch = mHid->Open(mBus->NodeOf(SimPath("PID_0210&MI_01")));
  const std::unique_ptr<CHidDevice> pen = mHid->Open(mBus->NodeOf(SimPath("PID_0210&MI_00")));
  ASSERT_TRUE(touch && pen);
  // The normal-mode commands sit in 64-byte reports: they go out zero-padded, as the board expects them.
  EXPECT_TRUE(touch->SetFeature({0x02, 0x00})) << "ping";
  EXPECT_TRUE(touch->SetFeature({0x08, 0x01, 0x00, 0xAA, 0xAA})) << "vendor command";
  const std::vector<sim::SSimTransfer> trace = mPlatform->HidBoard("touch")->Trace();
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_TRUE(trace[0].ok && trace[1].ok);
  // A get asks for the whole declared report and hands back the part asked for: the loader's parameters
  // (13 bytes) read as their first five.
  std::vector<uint8_t> parameters{0xD8, 0, 0, 0, 0};
  ASSERT_TRUE(pen->GetFeature(parameters));
  EXPECT_EQ(parameters.size(), 5u);
  EXPECT_EQ(parameters[0], 0xD8);
  // An answer short of the declared length still serves a caller that asked for less.
  const std::shared_ptr<CEmulatedHidNode> penNode = mBus->HidNode(SimPath("PID_0210&MI_00"));
  penNode->InjectFault(penNode->Transfers() + 1, 1, ENODEFAULT_SHORT);
  EXPECT_TRUE(pen->GetFeature(parameters));
  EXPECT_EQ(touchNode->Stalls() + penNode->Stalls(), 0u);

  // Never cut, never guessed: a report longer than declared, and an id the collection does not declare,
  // are refused before any transfer, each with a line saying so.
  const uint64_t transfers = touchNode->Transfers();
  const CDebugCapture debug;
  std::vector<uint8_t> tooLong(65, 0x02);
  EXPECT_FALSE(touch->SetFeature(tooLong));
  EXPECT_FALSE(touch->GetFeature(tooLong));
  std::vector<uint8_t> tunnelStatus{0xB0, 0xFF, 0xFF};
  EXPECT_FALSE(touch->GetFeature(tunnelStatus));
  EXPECT_EQ(tunnelStatus, (std::vector<uint8_t>{0xB0, 0xFF, 0xFF}));
  EXPECT_FALSE(touch->SetFeature({0xB0, 0x00, 0x00}));
  EXPECT_EQ(touchNode->Transfers(), transfers);
  ASSERT_EQ(debug.Lines().size(), 4u);
  EXPECT_NE(debug.Lines()[0].find("feature report 0x02 of 65 bytes"), std::string::npos) << debug.Lines()[0];
  EXPECT_NE(debug.Lines()[3].find("feature report 0xB0 is not declared"), std::string::npos) << debug.Lines()[3];
}

TEST_F(LinuxHid, ACollectionWithoutReportIdsTakesItsReportsAsReportZero)
{
  std::vector<std::vector<uint8_t>> sets;
  auto node = std::make_shared<CEmulatedHidNode>(
      std::make_unique<CNumberlessHandle>(sets),
      std::vector<SFirmwareCollection>{{{1, 0xFF00}, {{0x00, 9, 9, 9}}, true}});
  AddHidDevice(mBed, 0x0102, 5, node);

  const std::unique_ptr<CHidDevice> device = mHid->Open("/dev/hidraw5");
  ASSERT_TRUE(device);
  // The report number 0 leads the buffer hidraw takes; the eight bytes of the report follow.
  ASSERT_TRUE(device->SetFeature({0x00, 0x11, 0x22}));
  ASSERT_EQ(sets, (std::vector<std::vector<uint8_t>>{{0x00, 0x11, 0x22, 0, 0, 0, 0, 0, 0}}));
  std::vector<uint8_t> answer{0x00, 0x00, 0x00};
  ASSERT_TRUE(device->GetFeature(answer));
  EXPECT_EQ(answer, (std::vector<uint8_t>{0x00, 0xA1, 0xA2}));
  EXPECT_FALSE(device->SetFeature({0x01, 0x11})) << "no report carries an id";
  EXPECT_EQ(node->Stalls(), 0u);
}

TEST_F(LinuxHid, ARouterCarriesEveryReportInTheWrapperItsCollectionDeclares)
{
  Emulate(kRouterLoader);
  const std::string path = SimPath("PID_0100");
  const std::shared_ptr<CEmulatedHidNode> node = mBus->HidNode(path);
  CHIDFLDeviceInterface pen(mBus->NodeOf(path), mHid);
  ASSERT_TRUE(pen.QueryAttributes());
  ASSERT_EQ(pen.GetUsagePage(), 0xFF00);
  ASSERT_TRUE(pen.Open());
  pen.SetLoaderMode(true);
  CFLDeviceInterface::SetProtocolType(0);
  EXPECT_TRUE(pen.ReadLoaderParameters());
  EXPECT_EQ(pen.GetLoaderParameters().blocks, 8);
  // An inner report too long for the declared wrapper is refused whole, not cut to fit.
  const uint64_t transfers = node->Transfers();
  Report tooLong(1100, 0x11);
  EXPECT_FALSE(pen.WriteReport(tooLong));
  EXPECT_EQ(node->Transfers(), transfers);
  EXPECT_EQ(node->Stalls(), 0u);
}
