// Discovery on Windows: the engine's grouping over the Windows device layer, once over system calls in front
// of the simulated bus, once over the system's own DLLs.
#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/fwupdater/cfldeviceinterface.h"
#include "common/fwupdater/ctransferrecorder.h"
#include "sim/csimplatform.h"
#include "tests/testsupport/testfiles.h"
#include "tests/win/devices/csimwincalls.h"
#include "win/fwupdater/cwindiscovery.h"

using namespace orv;

namespace {

// Two tablets of the demo package's kind, their collections listed crosswise: each pen board with its touch
// controller behind the tablet's I2C tunnel, under a USB device of its own.
const char* const kTwoTablets = R"({
  "nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"],
            ["USB\\VID_4F52&PID_0101\\TAB2", "USB\\ROOT_HUB30\\2"]],
  "devices": [
    {"kind": "hid", "name": "pen1", "pid": "0101", "instance": 1, "parent": "USB\\VID_4F52&PID_0101\\TAB1"},
    {"kind": "hid", "name": "pen2", "pid": "0101", "instance": 2, "parent": "USB\\VID_4F52&PID_0101\\TAB2"},
    {"kind": "i2c", "name": "touch2", "pid": "0101", "usageId": "2", "interface": 1, "instance": 3,
     "parent": "USB\\VID_4F52&PID_0101\\TAB2"},
    {"kind": "i2c", "name": "touch1", "pid": "0101", "usageId": "2", "interface": 1, "instance": 4,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1"}
  ]
})";

std::string DemoTopology() { return (test::SourceDir() / "examples" / "demo" / "fw_loader.ini").string(); }

}  // namespace

TEST(WinDiscovery, InterfacesOfOneTabletArePairedByTheDeviceTree)
{
  test::CSimWinLayer<> layer(kTwoTablets);
  CWinDiscovery discovery(layer.mCalls->Tables(), DemoTopology());
  ASSERT_TRUE(discovery.Discover());
  ASSERT_EQ(discovery.GetDevices().size(), 2u);
  for (size_t tablet = 0; tablet < 2; ++tablet) {
    const std::string number = std::to_string(tablet + 1);
    SCOPED_TRACE(number);
    const CDevice& device = *discovery.GetDevices()[tablet];
    EXPECT_EQ(device.mName, "Orvel Tablet S");
    ASSERT_TRUE(device.mPenInterface);
    ASSERT_TRUE(device.mTouchInterface);
    EXPECT_EQ(device.mPenInterface->GetPath(), layer.mPlatform->HidBoard("pen" + number)->Path());
    EXPECT_EQ(device.mTouchInterface->GetPath(), layer.mPlatform->I2CBoard("touch" + number)->Config().identity.path);
    EXPECT_EQ(device.mTouchInterface->GetInterfaceType(), EINTERFACETYPE_I2C);
  }
  // Interfaces are left closed after they were identified.
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}

TEST(WinDiscovery, TheSystemsOwnDllsAreBoundAndFindNoTabletHere)
{
  test::CInstalledVirtualClock clock;
  GUID hidClass{};
  WinSystemCalls().hid->HidD_GetHidGuid(&hidClass);
  EXPECT_TRUE(IsEqualGUID(hidClass, test::kHidInterfaceClass));
  CWinDiscovery discovery(DemoTopology());
  EXPECT_TRUE(discovery.Discover());
  EXPECT_FALSE(discovery.GetPrototypes().empty());
  EXPECT_TRUE(discovery.GetDevices().empty());
}

// A recording discovery writes every call of the listing as the Linux program does: both enumerations, the
// bulk board's WinUSB open and device descriptor, and each collection's identity.
TEST(WinDiscovery, ARecordingHoldsEveryCallOfTheListing)
{
  test::CSimWinLayer<> layer(R"({"devices": [
    {"kind": "hid", "name": "pen", "pid": "0101", "instance": 1},
    {"kind": "bulk", "name": "hub", "pid": "0300", "loaderPid": "0301", "transferMs": 0}]})");
  const test::CScratchDir dir;
  const std::string file = (dir.Path() / "listing.rec").string();
  auto recorder = std::make_shared<CTransferRecorder>();
  ASSERT_TRUE(recorder->Open(file));
  CWinDiscovery discovery(layer.mCalls->Tables(), DemoTopology(), recorder);
  ASSERT_TRUE(discovery.Discover());
  const std::string pen = CTransferRecorder::Escape(layer.mPlatform->HidBoard("pen")->Path());
  const std::string hub = CTransferRecorder::Escape(layer.Present(EDEVICECLASS_BULK).at(0));
  const std::string recording = test::ReadText(file);
  for (const std::string& line : {"0 enumerate hid " + pen + "\n", "0 enumerate bulk " + hub + "\n", "0 usb " + hub + " open ok\n",
                                  "0 usb " + hub + " descriptor ok 12", "0 hid " + pen + " attributes ok 4F52 0101 "}) {
    EXPECT_NE(recording.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(recorder->Good());
  EXPECT_EQ(layer.mCalls->Leftovers(), "");
}
