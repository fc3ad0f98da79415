#include <gtest/gtest.h>

#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

void* Location(uintptr_t location_I) { return reinterpret_cast<void*>(location_I); }

// The host's stream for a byte in (no 87: the byte waits for the latency timer).
const Bytes kReadByte{0x80, 0x00, 0x01, 0x24, 0x00, 0x00, 0x80, 0x00, 0x03, 0x13, 0x00, 0x80};

class CSimFtdiBridgeTest : public ::testing::Test {
 protected:
  // As the host opens it (I2C at 100 kHz, 5 s read time-out, 8 ms latency timer), the ISP slave on the bus.
  void Open(const SSimBridgeConfig& config_I = {})
  {
    mBridge = std::make_unique<CSimFtdiBridge>(config_I);
    mBridge->Attach(CSimScalerIsp::Create({}, mError));
    ASSERT_EQ(mBridge->OpenEx(Location(0x1011), FT_OPEN_BY_LOCATION, &mHandle), FT_OK);
    ASSERT_EQ(mBridge->SetTimeouts(mHandle, 5000, 5000), FT_OK);
    ASSERT_EQ(mBridge->SetLatencyTimer(mHandle, 8), FT_OK);
    ASSERT_EQ(mBridge->SetBitMode(mHandle, 0, FT_BITMODE_MPSSE), FT_OK);
    Write({0x8A, 0x97, 0x8D, 0x9E, 0x02, 0x00, 0x80, 0x03, 0x03, 0x86, 0x2B, 0x01});
    mBridge->ResetStats();
  }

  void Write(const Bytes& bytes_I)
  {
    uint32_t written = 0;
    ASSERT_EQ(mBridge->Write(mHandle, bytes_I.data(), static_cast<uint32_t>(bytes_I.size()), &written), FT_OK);
  }
  Bytes Read(uint32_t count_I)
  {
    Bytes bytes(count_I);
    uint32_t read = 0;
    EXPECT_EQ(mBridge->Read(mHandle, bytes.data(), count_I, &read), FT_OK);
    bytes.resize(read);
    return bytes;
  }
  // Bytes readable now.
  uint32_t Ready()
  {
    uint32_t bytes = 0;
    EXPECT_EQ(mBridge->GetQueueStatus(mHandle, &bytes), FT_OK);
    return bytes;
  }

  test::CInstalledVirtualClock mClock;
  std::string mError;
  std::unique_ptr<CSimFtdiBridge> mBridge;
  FT_HANDLE mHandle = nullptr;
};

}  // namespace

TEST_F(CSimFtdiBridgeTest, OneDeviceFoundByIndexOpenedByLocationUntilUnplugged)
{
  CSimFtdiBridge bridge({.location = 0x2022, .resetFailures = 1});
  uint32_t count = 9, location = 0;
  EXPECT_EQ(bridge.ListDevices(Location(1), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(bridge.ListDevices(Location(0), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
  EXPECT_EQ(bridge.OpenEx(Location(0x1011), FT_OPEN_BY_LOCATION, &mHandle), FT_DEVICE_NOT_FOUND);
  ASSERT_EQ(bridge.OpenEx(Location(location), FT_OPEN_BY_LOCATION, &mHandle), FT_OK);
  FT_HANDLE second = nullptr;
  EXPECT_EQ(bridge.OpenEx(Location(location), FT_OPEN_BY_LOCATION, &second), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(bridge.ResetDevice(mHandle), FT_IO_ERROR);
  EXPECT_EQ(bridge.ResetDevice(mHandle), FT_OK);
  // Unplugged: nothing to list, nothing to open, the open handle fails until it is closed.
  bridge.SetPresent(false);
  EXPECT_EQ(bridge.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(bridge.OpenEx(Location(location), FT_OPEN_BY_LOCATION, &second), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(bridge.GetQueueStatus(mHandle, &count), FT_IO_ERROR);
  EXPECT_EQ(bridge.Close(mHandle), FT_OK);
  EXPECT_EQ(bridge.Close(mHandle), FT_INVALID_HANDLE);

  CSimFtdiBridge held({.openFails = true});
  EXPECT_EQ(held.OpenEx(Location(0x1011), FT_OPEN_BY_LOCATION, &mHandle), FT_DEVICE_NOT_OPENED);
}

TEST_F(CSimFtdiBridgeTest, CommandsCutAcrossWritesTimingLatencyTimerAndReadTimeOut)
{
  Open();
  // A start, then the address byte 94 with its command (11 00 00 94) cut inside its length and before its
  // data: it arrives whole (acknowledged), nine bits clocked at 100 kHz, and the acknowledge comes back at
  // once (87).
  Write({0x80, 0x03, 0x03, 0x80, 0x01, 0x03, 0x80, 0x00, 0x03, 0x11});
  Write({0x00, 0x00});
  Write({0x94, 0x80, 0x00, 0x01, 0x22, 0x00, 0x87, 0x80, 0x00, 0x03});
  EXPECT_EQ(Read(1), Bytes{0x00});
  const SSimBridgeStats stats = mBridge->Stats();
  EXPECT_EQ((std::vector<uint64_t>{stats.writes, stats.reads, stats.wireBits, stats.wireUs, stats.elapsedUs}),
            (std::vector<uint64_t>{3, 1, 9, 90, 4090}));
  // A byte read without 87 waits for the 8 ms latency timer after its write...
  Write(kReadByte);
  EXPECT_EQ(Ready(), 0u);
  EXPECT_EQ(Read(1).size(), 1u);
  EXPECT_EQ(mBridge->Stats().elapsedUs, 4090u + 1090u + 8000u);
  // ...unless an 87 follows, even in a later write.
  Write(kReadByte);
  EXPECT_EQ(Ready(), 0u);
  Write({0x87});
  EXPECT_EQ(Ready(), 1u);
  EXPECT_EQ(Read(1).size(), 1u);
  // An unknown opcode is echoed after FA; asking for more than will come waits the read time-out and gets
  // what there is.
  Write({0xAA});
  const uint64_t before = mClock.NowMs();
  EXPECT_EQ(Read(3), (Bytes{0xFA, 0xAA}));
  EXPECT_EQ(mClock.NowMs() - before, 5001u);
  // Whole milliseconds are paused and the rest carried: ten writes of 1080 us pause 11 ms (270 us were left).
  const uint64_t tenWrites = mClock.NowMs();
  for (int i = 0; i < 10; ++i) Write({0x13, 0x07, 0x00});
  EXPECT_EQ(mClock.NowMs() - tenWrites, 11u);

  Open({.honourLatencyTimer = false});
  Write(kReadByte);
  EXPECT_EQ(Ready(), 1u);
  EXPECT_EQ(mBridge->TakeWrites().back(), kReadByte);
  EXPECT_TRUE(mBridge->TakeWrites().empty());
}
