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
  ExpectDemoDisplayFlashed(".", [this](const std::string& board_I) { return SimFlash(*mPlatform, board_I); });
  EXPECT_TRUE(mPlatform->Scaler()->isp->Restarted());
  const std::string log = Log();
  EXPECT_NE(log.find("/dev/hidraw"), std::string::npos);
  // Every report went out at the length its collection declares.
  for (const char* board : {"PID_0210&MI_00", "PID_0210&MI_01", "PID_0211"}) {
    const std::shared_ptr<CEmulatedHidNode> node = mBus->HidNode(SimPath(board));
    ASSERT_TRUE(node) << board;
    EXPECT_GT(node->Transfers(), 0u) << board;
    EXPECT_EQ(node->Stalls(), 0u) << board;
  }
}

TEST_F(LinuxProgram, ABulkBoardIsSentIntoItsLoaderThroughLibusbAndProgrammed)
{
  std::string topology = ReadText("fw_loader.ini");
  topology.replace(topology.rfind(']'), 1, std::string(",") + kBulkPadModels);
  std::ofstream("fw_loader.ini", std::ios::trunc) << topology;
  Emulate(kBulkPad);
  ASSERT_EQ(Run({"-testpid", "0300", "-auto", "pen"}), 0) << Err() << Log();
  ExpectFlashed("pen", "tablet_s.pen");
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

TEST_F(LinuxProgram, WithoutDevicesTheRunEndsWithNoDeviceFoundAndTheListIsEmpty)
{
  Emulate(R"({"devices": []})");
  ASSERT_EQ(Run({"--list"}), 0);
  EXPECT_NE(Out().find("no supported device is attached"), std::string::npos) << Out();
  EXPECT_EQ(Run({"-testpid", "0210", "-auto", "pen"}), 1);
  EXPECT_NE(Err().find(ErrorMessage(EUISTRING_ERROR_NO_TABLET)), std::string::npos) << Err();
  EXPECT_EQ(Err().find("no permission"), std::string::npos);
}

TEST_F(LinuxProgram, ListShowsTheAttachedBoardsWithTheirNodesAndChangesNothing)
{
  Emulate("default");
  const std::string pen = mBus->NodeOf(SimPath("PID_0210&MI_00"));
  const uint64_t transfers = mBus->HidNode(SimPath("PID_0210&MI_00"))->Transfers();
  ASSERT_EQ(Run({"--list"}), 0) << Err();
  const std::string out = Out();
  EXPECT_NE(out.find("Orvel Display 16 (normal mode)"), std::string::npos) << out;
  // Each board with its ids, how it is reached, its mode, the version it reports, its file and its node; the
  // scaler's version comes over DDC/CI through the bridge, which is port 0 as the only one without -port.
  for (const char* board : {"  pen       HID  4F52:0210  normal    firmware 1.00  file display_pen.orv",
                            "  bluetooth HID  4F52:0211  normal    firmware 1.00  file display_bt.airoflash (no version)",
                            "  scalar    FTDI 5C23:1063  normal    firmware 1.2.3", " FTDI port 0\n"}) {
    EXPECT_NE(out.find(board), std::string::npos) << board << "\n" << out;
  }
  EXPECT_NE(out.find("  " + pen + "\n"), std::string::npos) << out;
  EXPECT_EQ(mPlatform->HidBoard("pen")->Mode(), sim::ESIMBOARDMODE_NORMAL);
  EXPECT_LE(mBus->HidNode(SimPath("PID_0210&MI_00"))->Transfers() - transfers, 2u) << "at most a version query";
  EXPECT_EQ(mPlatform->Scaler()->isp->Erases(), 0u);
}

TEST_F(LinuxProgram, ABoardThisUserMayNotOpenIsNamedWithTheUdevRules)
{
  Emulate("default");
  const std::string node = mBus->NodeOf(SimPath("PID_0210&MI_00"));
  mBed.Chmod(node, 0);
  const CScopedNoFileOverride user;
  EXPECT_EQ(Run({"-testpid", "0210", "-auto", "pen"}), 1);
  const std::string err = Err();
  EXPECT_NE(err.find("error: no permission to open " + node + " (4F52:0210)"), std::string::npos) << err;
  EXPECT_NE(err.find(kUdevRulesName), std::string::npos) << err;
  EXPECT_EQ(err.find(ErrorMessage(EUISTRING_ERROR_NO_TABLET)), std::string::npos) << "not 'no device'";
  EXPECT_EQ(Run({"--list"}), 1) << "the list says so too";
  EXPECT_NE(Err().find("error: no permission to open " + node), std::string::npos) << Err();
}
