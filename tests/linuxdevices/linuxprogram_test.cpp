#include "common/fwupdater/cbinaryairoflash.h"
#include "common/fwupdater/cintelhex.h"
#include "common/fwupdater/csrec.h"
#include "tests/linuxdevices/linuxprogramtest.h"

using namespace orv;
using namespace orv::test;

namespace {

// A pad whose pen board shows up as a USB device of the bulk class and comes back as a HID loader.
const char* const kBulkPad = R"({
  "devices": [
    {"kind": "bulk", "name": "pen", "pid": "0300", "loaderPid": "0301", "usageId": "1",
     "parent": "USB\\ROOT_HUB30\\1", "protocol": 0, "blockStart": "8000", "blockSize": 4096, "blocks": 32,
     "writeSize": 128}
  ]
})";

const char* const kBulkPadModels = R"(
	{"name": "Orvel Pad B",
	 "penBoard": {"pid": "0300", "interface": "BULK", "sectors": 32, "usageId": "0", "usagePg": "0", "update": "tablet_s.pen"}},
	{"name": "Orvel Pad B",
	 "penBoard": {"pid": "0300", "update": "tablet_s.pen"},
	 "loaderBoard": {"pid": "0301", "interface": "HID", "sectors": 32, "usageId": "1", "usagePg": "FF0D"}}
])";

class LinuxProgram : public CLinuxProgramTest {};

}  // namespace

TEST_F(LinuxProgram, TheDemoDisplayIsUpdatedThroughHidrawAndLibftdi)
{
  Emulate("default");
  ASSERT_EQ(Run({"-testpid", "0210", "-auto", "pen,touch,bluetooth,scalar"}, "Update\n"), 0) << Err() << Log();
  EXPECT_NE(Out().find(English(EUISTRING_UPDATE_SUCCEEDED)), std::string::npos);
  ExpectSRecFlash("pen", "display_pen.orv");
  CIntelHex touch;
  ASSERT_TRUE(touch.Load("display_touch.hex"));
  ExpectFlash("touch", 0x8000, std::vector<uint8_t>(touch.GetImage(), touch.GetImage() + touch.GetLength()));
  CBinaryAiroFlash bluetooth;
  ASSERT_TRUE(bluetooth.Load("display_bt.airoflash"));
  ExpectFlash("bluetooth", 0, bluetooth.GetData());
  const std::vector<uint8_t> scaler = ReadBytes("display_scaler.bin");
  EXPECT_TRUE(mPlatform->Scaler()->isp->FlashBytes(0, static_cast<uint32_t>(scaler.size())) == scaler);
  EXPECT_TRUE(mPlatform->Scaler()->isp->Restarted());
  const std::string log = Log();
  EXPECT_NE(log.find("/dev/hidraw"), std::string::npos);
}

TEST_F(LinuxProgram, ATabletLeavesForItsLoaderAndItsTouchControllerIsReachedThroughTheTunnel)
{
  Emulate("tablet_s.scenario");
  ASSERT_EQ(Run({"-testpid", "0101", "-auto", "pen,touch"}), 0) << Err() << Log();
  ExpectSRecFlash("pen", "tablet_s.pen");
  ExpectSRecFlash("touch", "tablet_s.touch");
  const std::string log = Log();
  EXPECT_LT(log.find("[STATE] 2"), log.find("IMPORTANT Attach Message (/dev/hidraw"));
}

TEST_F(LinuxProgram, ABulkBoardIsSentIntoItsLoaderThroughLibusbAndProgrammed)
{
  std::ifstream in("fw_loader.ini");
  std::string topology((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  topology.replace(topology.rfind(']'), 1, std::string(",") + kBulkPadModels);
  std::ofstream("fw_loader.ini", std::ios::trunc) << topology;
  Emulate(kBulkPad);
  ASSERT_EQ(Run({"-testpid", "0300", "-auto", "pen"}), 0) << Err() << Log();
  ExpectSRecFlash("pen", "tablet_s.pen");
  const std::string log = Log();
  EXPECT_NE(log.find("IMPORTANT Attach Message (/dev/hidraw"), std::string::npos);
  EXPECT_NE(log.find("IMPORTANT Attach Message (/dev/bus/usb/"), std::string::npos) << "back as the bulk device";
}

TEST_F(LinuxProgram, ABoardIsNamedByItsNodeAndARunWithoutDevicesSaysSo)
{
  Emulate("default");
  const std::string node = mBus->NodeOf(SimPath("PID_0211"));
  EXPECT_EQ(Run({"-path", node, "-auto", "bluetooth"}), 0) << Err() << Log();
  EXPECT_NE(Log().find("Passed Path: " + node), std::string::npos);
  EXPECT_EQ(Run({"-path", "/dev/hidraw99", "-auto", "bluetooth"}), 1);
  EXPECT_NE(Err().find(ErrorMessage(EUISTRING_ERROR_TARGET_NOT_FOUND)), std::string::npos) << Err();
}

TEST_F(LinuxProgram, WithoutDevicesTheRunEndsWithNoDeviceFound)
{
  Emulate(R"({"devices": []})");
  EXPECT_EQ(Run({"-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find(ErrorMessage(EUISTRING_ERROR_NO_TABLET)), std::string::npos) << Err();
  EXPECT_EQ(Err().find("no permission"), std::string::npos);
}
