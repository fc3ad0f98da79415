#include "common/fwupdater/cbulkfldeviceinterface.h"
#include "common/fwupdater/chidfldeviceinterface.h"
#include "common/osd/i2cconnectorftdi.h"
#include "linux/common/clinuxdeviceevents.h"
#include "linux/common/clinuxftdid2xx.h"
#include "tests/linuxdevices/linuxdevicetest.h"

using namespace orv;
using namespace orv::test;

namespace {

// A tablet whose pen board re-enumerates into its loader, and a bulk board that comes back as a HID loader.
const char* const kSwitchingBoards = R"({
  "nodes": [["USB\\VID_4F52&PID_0101\\TAB1", "USB\\ROOT_HUB30\\1"]],
  "devices": [
    {"kind": "hid", "name": "pen", "pid": "0101", "loaderPid": "0100", "usageId": "1", "instance": 1,
     "parent": "USB\\VID_4F52&PID_0101\\TAB1", "reenumerateMs": 1000},
    {"kind": "bulk", "name": "bulk", "pid": "0300", "loaderPid": "0301", "parent": "USB\\ROOT_HUB30\\1",
     "reenumerateMs": 1000}
  ]
})";

const char* const kScalerOnly = R"({"devices": [{"kind": "scaler", "serial": "ORV16A0012345"}]})";

using LinuxUsb = CLinuxPortsTest;
using LinuxFtdi = CLinuxPortsTest;

std::string BulkPath(sim::CSimPlatform& platform_I)
{
  const std::vector<std::string> paths = platform_I.Bus()->EnumerateInterfacePaths(EDEVICECLASS_BULK);
  return paths.empty() ? "" : paths.front();
}

}  // namespace

TEST_F(LinuxUsb, ABulkBoardIsFoundIdentifiedAndSentIntoItsLoader)
{
  Emulate(kSwitchingBoards);
  const std::string node = mBus->NodeOf(BulkPath(*mPlatform));
  EXPECT_EQ(CLinuxDeviceEnumerator().EnumerateInterfacePaths(EDEVICECLASS_BULK), std::vector<std::string>{node});
  CBulkFLDeviceInterface bulk(node, mUsb);
  ASSERT_TRUE(bulk.QueryAttributes());
  EXPECT_EQ(bulk.GetVendorId(), 0x4F52);
  EXPECT_EQ(bulk.GetProductId(), 0x0300);
  EXPECT_EQ(bulk.GetVersion(), 0x0100u);
  ASSERT_TRUE(bulk.Open());
  EXPECT_TRUE(bulk.Ping());
  // A request the board does not know stalls.
  Report unknown{0x41, 0x77, 0, 0, 0};
  EXPECT_FALSE(bulk.WriteReport(unknown));
  EXPECT_TRUE(bulk.SendVendorCommand());
  bulk.Close();
  EXPECT_TRUE(bulk.SwitchToBLMode());
  ASSERT_TRUE(bulk.Open()) << "the node is still there";
  EXPECT_FALSE(bulk.Ping()) << "the board is not";
  EXPECT_FALSE(mUsb->Open("/dev/bus/usb/009/001"));
  EXPECT_FALSE(mUsb->Open("/dev/hidraw0"));
}

TEST_F(LinuxFtdi, TheBridgeIsListedOpenedAndSpeaksMpsseThroughLibftdi)
{
  Emulate(kScalerOnly);
  CLinuxFtdiD2XX d2xx(mLog);
  uint32_t count = 0;
  ASSERT_EQ(d2xx.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 1u);
  uint32_t location = 0;
  EXPECT_EQ(d2xx.ListDevices(reinterpret_cast<void*>(1), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_DEVICE_NOT_FOUND);
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(d2xx.OpenEx(reinterpret_cast<void*>(0x9999), FT_OPEN_BY_LOCATION, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(d2xx.Write(reinterpret_cast<FT_HANDLE>(0x1234), "x", 1, &count), FT_INVALID_HANDLE);

  // The connector's whole open sequence: reset, MPSSE on, the echo test and the I2C set-up.
  CI2CConnectorFTDI connector(d2xx);
  ASSERT_TRUE(connector.Open(0));
  EXPECT_EQ(connector.GetSerialNumber(0), "ORV16A0012345");
  EXPECT_EQ(connector.GetModelName(), "Orvel PD16");
  ASSERT_TRUE(connector.Close());

  // A read of more than will come waits for its time-out on the clock and returns what there is.
  ASSERT_EQ(d2xx.ListDevices(nullptr, &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
  ASSERT_EQ(d2xx.OpenEx(reinterpret_cast<void*>(static_cast<uintptr_t>(location)), FT_OPEN_BY_LOCATION, &handle), FT_OK);
  EXPECT_EQ(d2xx.SetUSBParameters(handle, 100, 4096), FT_INVALID_PARAMETER);
  ASSERT_EQ(d2xx.SetTimeouts(handle, 40, 40), FT_OK);
  ASSERT_EQ(d2xx.SetBitMode(handle, 0, FT_BITMODE_MPSSE), FT_OK);
  const uint8_t badCommand[] = {0xAA, 0x87};
  uint32_t written = 0;
  ASSERT_EQ(d2xx.Write(handle, badCommand, 2, &written), FT_OK);
  EXPECT_EQ(written, 2u);
  uint8_t answer[4] = {};
  uint32_t read = 0;
  const uint64_t start = Clock().NowMs();
  ASSERT_EQ(d2xx.Read(handle, answer, 4, &read), FT_OK);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(answer[0], 0xFA);
  EXPECT_EQ(answer[1], 0xAA);
  EXPECT_GE(Clock().NowMs() - start, 40u);
  EXPECT_LT(Clock().NowMs() - start, 45u);
  EXPECT_EQ(d2xx.Close(handle), FT_OK);
  EXPECT_EQ(d2xx.Close(handle), FT_INVALID_HANDLE);

  // A bridge whose transfers fail fails the read and the queue status: nothing is made up.
  ASSERT_EQ(d2xx.OpenEx(reinterpret_cast<void*>(static_cast<uintptr_t>(location)), FT_OPEN_BY_LOCATION, &handle), FT_OK);
  ASSERT_EQ(d2xx.Write(handle, badCommand, 2, &written), FT_OK);
  mBus->FtdiNode()->SetGone();
  EXPECT_EQ(d2xx.Read(handle, answer, 4, &read), FT_IO_ERROR);
  EXPECT_EQ(d2xx.GetQueueStatus(handle, &read), FT_IO_ERROR);
  d2xx.Close(handle);
}
