// The bridge layer against a scripted D2XX: the binding's behaviour without the vendor library, the open
// sequence, and the exact MPSSE byte streams of the I2C primitives.
#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "common/cclock.h"
#include "common/osd/cftdiexapi32.h"
#include "common/osd/i2cconnectorftdi.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;

namespace {

using Bytes = std::vector<uint8_t>;

// Records every write and call; reads are served from a script.
class CScriptedD2XX : public CD2XX {
 public:
  FT_STATUS OpenEx(void* arg1_I, uint32_t flags_I, FT_HANDLE* handle_O) override
  {
    calls.push_back("OpenEx " + std::to_string(reinterpret_cast<uintptr_t>(arg1_I)) + " " + std::to_string(flags_I));
    *handle_O = this;
    return FT_OK;
  }
  FT_STATUS ListDevices(void* arg1_IO, void* arg2_IO, uint32_t flags_I) override
  {
    if (flags_I == FT_LIST_NUMBER_ONLY) {
      *static_cast<uint32_t*>(arg1_IO) = deviceCount;
    } else {
      *static_cast<uint32_t*>(arg2_IO) = 0x2200 + static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1_IO));
    }
    return FT_OK;
  }
  FT_STATUS Close(FT_HANDLE) override { return Call("Close"); }
  FT_STATUS Read(FT_HANDLE, void* buffer_O, uint32_t toRead_I, uint32_t* read_O) override
  {
    uint32_t count = 0;
    for (; count < toRead_I && !input.empty(); ++count) {
      static_cast<uint8_t*>(buffer_O)[count] = input.front();
      input.pop_front();
    }
    *read_O = count;
    return FT_OK;
  }
  FT_STATUS Write(FT_HANDLE, const void* buffer_I, uint32_t toWrite_I, uint32_t* written_O) override
  {
    if (failedWrites-- > 0) {
      *written_O = 0;
      return FT_IO_ERROR;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer_I);
    writes.emplace_back(bytes, bytes + toWrite_I);
    if (writes.back() == Bytes{0xAA}) input.insert(input.end(), echo.begin(), echo.end());
    *written_O = toWrite_I;
    return FT_OK;
  }
  FT_STATUS ResetDevice(FT_HANDLE) override { return failedResets-- > 0 ? FT_IO_ERROR : Call("Reset"); }
  FT_STATUS SetChars(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t) override { return Call("SetChars"); }
  FT_STATUS SetTimeouts(FT_HANDLE, uint32_t readMs_I, uint32_t) override { return Call("SetTimeouts", readMs_I); }
  FT_STATUS GetQueueStatus(FT_HANDLE, uint32_t* bytes_O) override
  {
    *bytes_O = static_cast<uint32_t>(input.size());
    return FT_OK;
  }
  FT_STATUS SetLatencyTimer(FT_HANDLE, uint8_t ms_I) override { return Call("SetLatency", ms_I); }
  FT_STATUS SetBitMode(FT_HANDLE, uint8_t, uint8_t mode_I) override { return Call("SetBitMode", mode_I); }
  FT_STATUS SetUSBParameters(FT_HANDLE, uint32_t in_I, uint32_t) override { return Call("SetUSBParameters", in_I); }

  FT_STATUS Call(const std::string& name_I)
  {
    calls.push_back(name_I);
    return FT_OK;
  }
  FT_STATUS Call(const std::string& name_I, uint32_t value_I) { return Call(name_I + " " + std::to_string(value_I)); }

  uint32_t deviceCount = 1;
  int failedResets = 0;
  int failedWrites = 0;
  Bytes echo = {0xFA, 0xAA};
  std::deque<uint8_t> input;
  std::vector<Bytes> writes;
  std::vector<std::string> calls;
};

Bytes Repeat(const Bytes& triple_I, int times_I)
{
  Bytes bytes;
  for (int i = 0; i < times_I; ++i) bytes.insert(bytes.end(), triple_I.begin(), triple_I.end());
  return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts_I)
{
  Bytes bytes;
  for (const Bytes& part : parts_I) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

// A library with only FT_ListDevices, reporting two devices it cannot locate.
FT_STATUS ORV_D2XX_CALL TwoDevices(void* arg1_IO, void*, uint32_t flags_I)
{
  if (flags_I != FT_LIST_NUMBER_ONLY) return FT_DEVICE_NOT_FOUND;
  *static_cast<uint32_t*>(arg1_IO) = 2;
  return FT_OK;
}

class CListOnlyLibrary : public CImportLibrary {
 public:
  explicit CListOnlyLibrary(bool present_I) : CImportLibrary(true), mPresent(present_I) {}

 protected:
  bool OpenModule() override { return mPresent; }
  Proc FindSymbol(const char* name_I) override
  {
    return std::string(name_I) == "FT_ListDevices" ? reinterpret_cast<Proc>(&TwoDevices) : nullptr;
  }

 private:
  bool mPresent;
};

class I2CConnectorFTDI : public ::testing::Test {
 protected:
  test::CInstalledVirtualClock mClock;
  CScriptedD2XX mD2XX;
  CI2CConnectorFTDI mConnector{mD2XX};
};

}  // namespace

TEST(FTDIBinding, MissingLibraryOrFunctionFailsTheCallAndTheOpen)
{
  test::CDebugCapture capture;
  CFTDIExAPI32 missing(std::make_unique<CListOnlyLibrary>(false));
  CI2CConnectorFTDI withoutLibrary(missing);
  EXPECT_FALSE(withoutLibrary.Open(0));
  EXPECT_EQ(withoutLibrary.OpenBridge(0), FT_INVALID_PARAMETER);
  EXPECT_EQ(capture.CountAsserts("m_pList"), 2u);
  EXPECT_EQ(capture.CountAsserts("m_hDll"), 0u) << "a quiet library reports only the calls";

  // With two devices listed, index 2 is out of range; index 0 fails on its location, before FT_OpenEx.
  CFTDIExAPI32 partial(std::make_unique<CListOnlyLibrary>(true));
  CI2CConnectorFTDI connector(partial);
  EXPECT_EQ(connector.OpenBridge(2), FT_INVALID_PARAMETER);
  EXPECT_EQ(connector.OpenBridge(0), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(capture.CountAsserts("m_pOpen"), 0u);
  uint32_t waiting = 0;
  EXPECT_EQ(partial.GetQueueStatus(nullptr, &waiting), FT_NOT_SUPPORTED);
  EXPECT_EQ(capture.CountAsserts("m_pGetQueueStatus"), 1u);
  EXPECT_FALSE(connector.IsOpen());
}

TEST_F(I2CConnectorFTDI, OpenConfiguresTheBridgeForI2CAt100kHz)
{
  mD2XX.deviceCount = 2;
  mD2XX.input = {0x11, 0x22};  // stale bytes are drained first
  ASSERT_TRUE(mConnector.Open(1));
  EXPECT_TRUE(mConnector.IsOpen());
  EXPECT_EQ(mD2XX.calls, (std::vector<std::string>{"OpenEx 8705 4", "Reset", "SetUSBParameters 65536", "SetChars",
                                                   "SetTimeouts 5000", "SetLatency 8", "SetBitMode 0",
                                                   "SetBitMode 2"}));
  EXPECT_EQ(mD2XX.writes, (std::vector<Bytes>{{0x84}, {0xAA}, {0x85}, {0x8A, 0x97, 0x8D},
                                               {0x9E, 0x02, 0x00, 0x80, 0x03, 0x03}, {0x86, 0x2B, 0x01},
                                               {0x82, 0x14, 0xFF}}));
  EXPECT_EQ(mClock.Pauses(), (std::vector<uint32_t>{50, 20}));
  EXPECT_TRUE(mD2XX.input.empty());
  EXPECT_FALSE(mConnector.OpenBridge(2) == FT_OK) << "index equal to the count";
}

TEST_F(I2CConnectorFTDI, ResetIsRetriedTwentyTimesThenTheHandleIsClosed)
{
  mD2XX.failedResets = 20;
  EXPECT_EQ(mConnector.OpenBridge(0), FT_OK);
  EXPECT_EQ(mClock.Pauses().size(), 20u + 2u);

  mClock.ClearPauses();
  mD2XX.failedResets = 21;
  mD2XX.calls.clear();
  CI2CConnectorFTDI second(mD2XX);
  EXPECT_EQ(second.OpenBridge(0), FT_IO_ERROR);
  EXPECT_EQ(mClock.Pauses(), std::vector<uint32_t>(20, 50));
  EXPECT_EQ(mD2XX.calls.back(), "Close");
  EXPECT_FALSE(second.IsOpen());
}

TEST_F(I2CConnectorFTDI, SyncMpsseAcceptsEitherHalfOfTheEcho)
{
  for (const auto& [echo, expected] : std::vector<std::pair<Bytes, FT_STATUS>>{
           {{0xFA, 0xAA}, FT_OK}, {{0xFA, 0x00}, FT_OK}, {{0x00, 0xAA}, FT_OK}, {{0x00, 0x00}, FT_IO_ERROR}}) {
    mD2XX.echo = echo;
    EXPECT_EQ(mConnector.SyncMpsse(true), expected);
    EXPECT_EQ(mConnector.SyncMpsse(false), FT_OK);
  }
  mD2XX.echo = {0xFA};
  EXPECT_EQ(mConnector.SyncMpsse(false), FT_IO_ERROR) << "a short echo";
}

TEST_F(I2CConnectorFTDI, PrimitivesSendTheirExactStreams)
{
  ASSERT_EQ(mConnector.I2CStart(), FT_OK);
  ASSERT_EQ(mConnector.I2CStop(), FT_OK);
  EXPECT_EQ(mD2XX.writes[0],
            Concat({Repeat({0x80, 0x03, 0x03}, 4), Repeat({0x80, 0x01, 0x03}, 4), Repeat({0x80, 0x00, 0x03}, 4)}));
  EXPECT_EQ(mD2XX.writes[1], Concat({Repeat({0x80, 0x01, 0x03}, 4), Repeat({0x80, 0x03, 0x03}, 4), {0x80, 0x02, 0x03}}));

  mD2XX.writes.clear();
  mD2XX.input = {0x00, 0x01};
  EXPECT_EQ(mConnector.I2CWriteByte(0x94, true), FT_OK);
  EXPECT_EQ(mConnector.I2CWriteByte(0x95, false), FT_IO_ERROR) << "no acknowledge";
  EXPECT_EQ(mConnector.I2CWriteByte(0x96, false), FT_IO_ERROR) << "no answer at all";
  EXPECT_EQ(mD2XX.writes[0], (Bytes{0x11, 0x00, 0x00, 0x94, 0x80, 0x00, 0x01, 0x22, 0x00, 0x87, 0x80, 0x00, 0x03}));
  EXPECT_EQ(mD2XX.writes[1], (Bytes{0x80, 0x02, 0x03}));
  EXPECT_EQ(mClock.Pauses(), std::vector<uint32_t>{20});

  mD2XX.writes.clear();
  mD2XX.input = {0x5A};
  uint8_t byte = 0;
  EXPECT_EQ(mConnector.I2CReadByte(false, byte), FT_OK);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(mConnector.I2CReadByte(true, byte), FT_IO_ERROR);
  EXPECT_EQ(mD2XX.writes[0], (Bytes{0x80, 0x00, 0x01, 0x24, 0x00, 0x00, 0x80, 0x00, 0x03, 0x13, 0x00, 0x80}));
  EXPECT_EQ(Bytes(mD2XX.writes[1].end() - 3, mD2XX.writes[1].end()), (Bytes{0x13, 0x00, 0x00}));
}

TEST_F(I2CConnectorFTDI, ABatchIsTheSingleStepTrafficInOneWriteAndOneRead)
{
  CI2CBatch single;
  single.Start();
  single.Read(false);
  single.Stop();
  ASSERT_EQ(mConnector.I2CStart(), FT_OK);
  mD2XX.input = {0x00};
  uint8_t byte = 0;
  ASSERT_EQ(mConnector.I2CReadByte(false, byte), FT_OK);
  ASSERT_EQ(mConnector.I2CStop(), FT_OK);
  EXPECT_EQ(single.Commands(), Concat({mD2XX.writes[0], mD2XX.writes[1], mD2XX.writes[2]}));

  mD2XX.writes.clear();
  mD2XX.input = {0x00, 0x01, 0x5A};
  CI2CBatch batch;
  batch.Write(0x94);
  batch.Write(0xAB);
  batch.Read(true);
  std::vector<uint8_t> answers;
  EXPECT_EQ(mConnector.RunBatch(batch, answers), FT_OK);
  EXPECT_EQ(answers, (Bytes{0x00, 0x01, 0x5A})) << "acknowledge bits and the byte, in order";
  ASSERT_EQ(mD2XX.writes.size(), 1u);
  const Bytes& stream = mD2XX.writes[0];
  ASSERT_EQ(stream.size(), 2u * 15u + 12u + 1u);
  EXPECT_EQ(Bytes(stream.begin() + 15, stream.begin() + 30),
            (Bytes{0x11, 0x00, 0x00, 0xAB, 0x80, 0x00, 0x01, 0x22, 0x00, 0x80, 0x00, 0x03, 0x80, 0x02, 0x03}));
  EXPECT_EQ(stream.back(), 0x87);
  EXPECT_EQ(mConnector.RunBatch(batch, answers), FT_IO_ERROR) << "no answers";
  EXPECT_TRUE(mClock.Pauses().empty());
}

TEST_F(I2CConnectorFTDI, AQueuedBatchIsAnsweredWithTheNextRunOrAFlush)
{
  CI2CBatch queued;
  queued.Write(0x94);
  queued.Write(0x70);
  ASSERT_EQ(mConnector.QueueBatch(queued), FT_OK);
  ASSERT_EQ(mD2XX.writes.size(), 1u);
  EXPECT_EQ(mD2XX.writes[0], queued.Commands()) << "no send-immediate and no read";

  CI2CBatch read;
  read.Read(false);
  mD2XX.input = {0x00, 0x01, 0x5A};
  std::vector<uint8_t> answers;
  EXPECT_EQ(mConnector.RunBatch(read, answers), FT_OK);
  EXPECT_EQ(answers, Bytes{0x5A}) << "the queued acknowledges are read first and dropped";
  EXPECT_TRUE(mD2XX.input.empty());
  EXPECT_EQ(mConnector.FlushQueued(), FT_OK);
  EXPECT_EQ(mD2XX.writes.size(), 2u) << "nothing owed, nothing sent";

  ASSERT_EQ(mConnector.QueueBatch(queued), FT_OK);
  mD2XX.input = {0x00, 0x00};
  EXPECT_EQ(mConnector.FlushQueued(), FT_OK);
  EXPECT_EQ(mD2XX.writes.back(), Bytes{0x87});
  EXPECT_TRUE(mD2XX.input.empty());
  ASSERT_EQ(mConnector.QueueBatch(queued), FT_OK);
  EXPECT_EQ(mConnector.FlushQueued(), FT_IO_ERROR) << "the owed answers never came";

  // A run whose write the bridge refused leaves the queued batch's answers owed.
  ASSERT_EQ(mConnector.QueueBatch(queued), FT_OK);
  mD2XX.failedWrites = 1;
  EXPECT_EQ(mConnector.RunBatch(read, answers), FT_IO_ERROR);
  mD2XX.input = {0x00, 0x01, 0x5A};
  EXPECT_EQ(mConnector.RunBatch(read, answers), FT_OK);
  EXPECT_EQ(answers, Bytes{0x5A});
}
