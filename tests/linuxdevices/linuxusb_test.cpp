#include "common/osd/i2cconnectorftdi.h"
#include "linux/common/clinuxftdid2xx.h"
#include "tests/linuxdevices/linuxdevicetest.h"

using namespace orv;
using namespace orv::test;

namespace {

const char* const kScalerOnly = R"({"devices": [{"kind": "scaler", "serial": "ORV16A0012345"}]})";

using LinuxFtdi = CLinuxPortsTest;

}  // namespace

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
