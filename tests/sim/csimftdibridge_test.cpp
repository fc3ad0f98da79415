#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimftdibridge.h"
#include "sim/csimscalerisp.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Repeat(const Bytes& bytes_I, int times_I)
{
  Bytes all;
  for (int i = 0; i < times_I; ++i) all.insert(all.end(), bytes_I.begin(), bytes_I.end());
  return all;
}

Bytes Join(Bytes first_I, const Bytes& second_I)
{
  first_I.insert(first_I.end(), second_I.begin(), second_I.end());
  return first_I;
}

const Bytes kHigh{0x80, 0x03, 0x03};
const Bytes kSdaLow{0x80, 0x01, 0x03};
const Bytes kBothLow{0x80, 0x00, 0x03};
const Bytes kSdaHigh{0x80, 0x02, 0x03};
// The host's I2C primitives as MPSSE streams (36-byte start, 27-byte stop, 13-byte write, 12-byte read).
const Bytes kStart = Join(Join(Repeat(kHigh, 4), Repeat(kSdaLow, 4)), Repeat(kBothLow, 4));
const Bytes kStop = Join(Join(Repeat(kSdaLow, 4), Repeat(kHigh, 4)), kSdaHigh);

Bytes WriteByteCommands(uint8_t byte_I)
{
  return {0x11, 0x00, 0x00, byte_I, 0x80, 0x00, 0x01, 0x22, 0x00, 0x87, 0x80, 0x00, 0x03};
}

Bytes ReadByteCommands(bool acknowledge_I)
{
  return {0x80, 0x00, 0x01, 0x24, 0x00, 0x00, 0x80, 0x00, 0x03, 0x13, 0x00, uint8_t(acknowledge_I ? 0x00 : 0x80)};
}

class CSimFtdiBridgeTest : public ::testing::Test {
 protected:
  void Open(CSimFtdiBridge& bridge_I)
  {
    uint32_t location = 0;
    ASSERT_EQ(bridge_I.ListDevices(reinterpret_cast<void*>(uintptr_t{0}), &location,
                                   FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
    ASSERT_EQ(bridge_I.OpenEx(reinterpret_cast<void*>(uintptr_t{location}), FT_OPEN_BY_LOCATION, &mHandle), FT_OK);
    mBridge = &bridge_I;
    ASSERT_EQ(bridge_I.ResetDevice(mHandle), FT_OK);
    ASSERT_EQ(bridge_I.SetUSBParameters(mHandle, 65536, 65536), FT_OK);
    ASSERT_EQ(bridge_I.SetTimeouts(mHandle, 5000, 5000), FT_OK);
    ASSERT_EQ(bridge_I.SetLatencyTimer(mHandle, 8), FT_OK);
    ASSERT_EQ(bridge_I.SetBitMode(mHandle, 0, FT_BITMODE_RESET), FT_OK);
    ASSERT_EQ(bridge_I.SetBitMode(mHandle, 0, FT_BITMODE_MPSSE), FT_OK);
    Write({0x8A, 0x97, 0x8D, 0x9E, 0x02, 0x00, 0x80, 0x03, 0x03, 0x86, 0x2B, 0x01, 0x82, 0x14, 0xFF});
    bridge_I.ResetStats();
    mClock.ClearPauses();
  }

  void Write(const Bytes& bytes_I)
  {
    uint32_t written = 0;
    ASSERT_EQ(mBridge->Write(mHandle, bytes_I.data(), static_cast<uint32_t>(bytes_I.size()), &written), FT_OK);
    ASSERT_EQ(written, bytes_I.size());
  }

  Bytes Read(uint32_t count_I)
  {
    Bytes bytes(count_I);
    uint32_t read = 0;
    EXPECT_EQ(mBridge->Read(mHandle, bytes.data(), count_I, &read), FT_OK);
    bytes.resize(read);
    return bytes;
  }

  // True when the slave acknowledged.
  bool WriteByte(uint8_t byte_I)
  {
    Write(WriteByteCommands(byte_I));
    Write(kSdaHigh);
    const Bytes ack = Read(1);
    return ack.size() == 1 && (ack[0] & 1) == 0;
  }

  uint8_t ReadRegister(uint8_t register_I)
  {
    Write(kStart);
    WriteByte(0x94);
    WriteByte(register_I);
    Write(kStart);
    WriteByte(0x95);
    Write(ReadByteCommands(false));
    const Bytes value = Read(1);
    Write(kStop);
    return value.empty() ? 0 : value[0];
  }

  CVirtualClock mClock;
  CScopedClock mScoped{mClock};
  CSimFtdiBridge* mBridge = nullptr;
  FT_HANDLE mHandle = nullptr;
};

}  // namespace

TEST_F(CSimFtdiBridgeTest, OneDeviceFoundByIndexAndOpenedByLocation)
{
  CSimFtdiBridge bridge({.location = 0x2022, .resetFailures = 1});
  uint32_t count = 9, location = 0;
  EXPECT_EQ(bridge.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(bridge.ListDevices(reinterpret_cast<void*>(uintptr_t{1}), &location,
                               FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(bridge.OpenEx(reinterpret_cast<void*>(uintptr_t{0x1011}), FT_OPEN_BY_LOCATION, &mHandle),
            FT_DEVICE_NOT_FOUND);
  ASSERT_EQ(bridge.OpenEx(reinterpret_cast<void*>(uintptr_t{0x2022}), FT_OPEN_BY_LOCATION, &mHandle), FT_OK);
  FT_HANDLE second = nullptr;
  EXPECT_EQ(bridge.OpenEx(reinterpret_cast<void*>(uintptr_t{0x2022}), FT_OPEN_BY_LOCATION, &second),
            FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(bridge.ResetDevice(mHandle), FT_IO_ERROR);
  EXPECT_EQ(bridge.ResetDevice(mHandle), FT_OK);
  // Unplugged: nothing to list, the open handle fails until it is closed.
  bridge.SetPresent(false);
  EXPECT_EQ(bridge.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 0u);
  uint32_t queued = 0;
  EXPECT_EQ(bridge.GetQueueStatus(mHandle, &queued), FT_IO_ERROR);
  EXPECT_EQ(bridge.Close(mHandle), FT_OK);
  EXPECT_EQ(bridge.Close(mHandle), FT_INVALID_HANDLE);

  CSimFtdiBridge held({.openFails = true});
  EXPECT_EQ(held.OpenEx(reinterpret_cast<void*>(uintptr_t{0x1011}), FT_OPEN_BY_LOCATION, &mHandle),
            FT_DEVICE_NOT_OPENED);
}

TEST_F(CSimFtdiBridgeTest, RegistersWrittenAndReadThroughTheHostsPinSequences)
{
  CSimFtdiBridge bridge;
  std::string error;
  const auto isp = CSimScalerIsp::Create({}, error);
  bridge.Attach(isp);
  Open(bridge);
  EXPECT_EQ(bridge.ClockHz(), 100000u);
  Write({0xAA});
  EXPECT_EQ(Read(2), (Bytes{0xFA, 0xAA}));

  Write(kStart);
  EXPECT_TRUE(WriteByte(0x94));
  EXPECT_TRUE(WriteByte(0x1E));
  // A command cut at the end of a write goes on with the next one.
  const Bytes value = WriteByteCommands(0x02);
  Write(Bytes(value.begin(), value.begin() + 2));
  Write(Join(Bytes(value.begin() + 2, value.end()), kSdaHigh));
  EXPECT_EQ(Read(1), Bytes{0x00});
  Write(kStop);
  EXPECT_EQ(ReadRegister(0x1E), 0x02);
  EXPECT_EQ(isp->RegisterWrites(), (std::vector<std::pair<uint8_t, uint8_t>>{{0x1E, 0x02}}));
  // Nobody at 0x50.
  Write(kStart);
  EXPECT_FALSE(WriteByte(0x50));
  Write(kStop);
  const std::vector<Bytes> writes = bridge.TakeWrites();
  ASSERT_EQ(writes.size(), 24u);
  EXPECT_EQ(writes.back(), kStop);
  EXPECT_TRUE(bridge.TakeWrites().empty());
}

TEST_F(CSimFtdiBridgeTest, RoundTripsWireTimeAndTheLatencyTimer)
{
  CSimFtdiBridge bridge;
  std::string error;
  bridge.Attach(CSimScalerIsp::Create({}, error));
  Open(bridge);
  const uint64_t start = mClock.NowMs();
  Write(kStart);
  // 13 bytes with nine clocked bits and a send-immediate, the SDA release, the read of the acknowledge.
  EXPECT_TRUE(WriteByte(0x95));
  SSimBridgeStats stats = bridge.Stats();
  EXPECT_EQ(stats.writes, 3u);
  EXPECT_EQ(stats.reads, 1u);
  EXPECT_EQ(stats.wireBits, 9u);
  EXPECT_EQ(stats.wireUs, 90u);
  EXPECT_EQ(stats.elapsedUs, 4090u);
  // A read byte has no send-immediate: it waits for the 8 ms latency timer after its write.
  Write(ReadByteCommands(false));
  EXPECT_EQ(Read(1).size(), 1u);
  EXPECT_EQ(bridge.Stats().elapsedUs, 4090u + 1090u + 8000u);
  // Whole milliseconds are paused, the rest is carried.
  EXPECT_EQ((mClock.NowMs() - start) * 1000 + 180, 4090u + 1090u + 8000u);
  // More than will ever come: the read time-out, and what there is.
  Write({0xAA});
  const uint64_t before = mClock.NowMs();
  EXPECT_EQ(Read(3), (Bytes{0xFA, 0xAA}));
  EXPECT_EQ(mClock.NowMs() - before, 5001u);

  CSimFtdiBridge eager({.honourLatencyTimer = false});
  Open(eager);
  Write({0xAA});
  EXPECT_EQ(Read(2).size(), 2u);
  EXPECT_EQ(eager.Stats().elapsedUs, 2000u);
}
