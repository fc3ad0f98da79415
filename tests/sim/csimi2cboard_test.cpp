#include <gtest/gtest.h>

#include "sim/csimbus.h"
#include "sim/csimi2cboard.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kPath = MakeSimHidPath(0x4F52, 0x0210, 1, 0x51);
// The switch requests; the loader status answers the same bytes once the switch took effect.
const Bytes kEnter{0xB0, 0x00, 0x00};
const Bytes kLeave{0xB0, 0x01, 0x01};
const Bytes kReadValue{0xB1, 0x01, 0x14, 0x05, 0x00};

// The 265-byte write request: B2, 01, the inner length least significant first, the inner report.
Bytes WriteRequest(const Bytes& inner_I)
{
  Bytes report{0xB2, 0x01, static_cast<uint8_t>(inner_I.size()), static_cast<uint8_t>(inner_I.size() >> 8)};
  report.resize(265, 0);
  std::copy(inner_I.begin(), inner_I.end(), report.begin() + 4);
  return report;
}

// The bytes with one of them replaced.
Bytes With(Bytes bytes_I, size_t at_I, uint8_t value_I)
{
  bytes_I[at_I] = value_I;
  return bytes_I;
}

const Bytes kWriteValue = WriteRequest({0x13, 0x20, 0x10, 0x00, 0x00});

class CSimI2CBoardTest : public ::testing::Test {
 protected:
  CSimI2CBoardTest()
  {
    // These tests time the device's own delays; its transfers cost nothing here.
    const SSimI2CBoardConfig config{.identity = {0x4F52, 0x0210, 0x0100, 1, 0xFF0D, kPath, "USB\\VID_4F52&PID_0210\\1"},
                                    .leaveMs = 100, .busyMs = 30, .transferMs = 0,
                                    .flashLoader = {.blocks = MakeSimBlocks(0x1000, 256, 4, 4)}};
    mBoard = test::MustCreate(CSimI2CTunnelBoard::Create, config);
    mBus.Attach(mBoard);
    mHandle = mBus.OpenHid(kPath);
  }

  // The first used_I bytes of a get report of its full length (filled with FF before, so untouched bytes show).
  Bytes Get(uint8_t id_I, size_t used_I)
  {
    Bytes report(id_I == 0xB0 ? 3 : id_I == 0xB1 ? 266 : 6, 0xFF);
    report[0] = id_I;
    EXPECT_TRUE(mHandle->GetFeature(report)) << std::hex << int{id_I};
    report.resize(used_I);
    return report;
  }

  void EnterLoader()
  {
    ASSERT_TRUE(mHandle->SetFeature(kEnter));
    mClock.Advance(200);
  }

  test::CInstalledVirtualClock mClock;
  CSimBus mBus;
  std::shared_ptr<CSimI2CTunnelBoard> mBoard;
  std::unique_ptr<CHidDevice> mHandle;
};

}  // namespace

TEST_F(CSimI2CBoardTest, LoaderSwitchTakesEffectAfterTheDelay)
{
  // Asking for the current mode calls a pending switch off; asking again does not put it off.
  ASSERT_TRUE(mHandle && mHandle->SetFeature(kEnter) && mHandle->SetFeature(kLeave));
  mClock.Advance(200);
  ASSERT_TRUE(mHandle->SetFeature(kEnter));
  mClock.Advance(150);
  ASSERT_TRUE(mHandle->SetFeature(kEnter));
  mClock.Advance(49);
  EXPECT_EQ(Get(0xB0, 3), kLeave);
  mClock.Advance(1);
  EXPECT_EQ(Get(0xB0, 3), kEnter);
  ASSERT_TRUE(mHandle->SetFeature({0x02, 0x00}) && mHandle->SetFeature(kLeave));  // the tablet's ping works in both
  mClock.Advance(99);
  EXPECT_EQ(Get(0xB0, 3), kEnter);
  mClock.Advance(1);
  EXPECT_EQ(Get(0xB0, 3), kLeave);
  // The collection never left the bus: its arrival is the only event.
  EXPECT_EQ(mBus.DeliverDueEvents(), 1u);
  EXPECT_FALSE(mBus.NextEventDueMs());
}

TEST_F(CSimI2CBoardTest, TunnelledRequestsStayBusyThenAnswer)
{
  EnterLoader();
  ASSERT_TRUE(mHandle->SetFeature(kWriteValue));
  EXPECT_EQ(Get(0xB2, 6), (Bytes{0xB2, 0xF1, 0x00, 0x00, 0x00, 0x13}));
  mClock.Advance(29);
  EXPECT_EQ(Get(0xB2, 6)[1], 0xF1);
  mClock.Advance(1);
  EXPECT_EQ(Get(0xB2, 6), (Bytes{0xB2, 0xF2, 0x00, 0x00, 0x00, 0x13}));
  ASSERT_TRUE(mHandle->SetFeature(kReadValue));
  EXPECT_EQ(Get(0xB1, 4), (Bytes{0xB1, 0xF1, 0x00, 0x00}));
  mClock.Advance(30);
  EXPECT_EQ(Get(0xB1, 11), (Bytes{0xB1, 0xF2, 0x00, 0x05, 0x00, 0x14, 0x20, 0x10, 0x00, 0x00, 0x00}));

  // A report the loader refuses ends failed.
  ASSERT_TRUE(mHandle->SetFeature(WriteRequest({0x12, 0x09, 0x00, 0x00, 0x00})));
  mClock.Advance(30);
  EXPECT_EQ(Get(0xB2, 6), (Bytes{0xB2, 0xF3, 0x00, 0x00, 0x00, 0x12}));
  // The loader's own exit command switches the controller back; there every request fails.
  ASSERT_TRUE(mHandle->SetFeature(WriteRequest({0x15, 0x01, 0x00, 0x00, 0x00})));
  mClock.Advance(200);
  EXPECT_EQ(Get(0xB2, 6)[1], 0xF2);
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
  ASSERT_TRUE(mHandle->SetFeature(kReadValue));
  mClock.Advance(30);
  EXPECT_EQ(Get(0xB1, 6), (Bytes{0xB1, 0xF3, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(CSimI2CBoardTest, MalformedTunnelReportsFailAndStartNothing)
{
  EnterLoader();
  // Write requests: marker, padding, a claimed 262 bytes, length, empty; then reads and switches.
  const std::vector<Bytes> badSets{
      With(kWriteValue, 1, 0x02), With(kWriteValue, 200, 0x01), With(WriteRequest(Bytes(261, 0x11)), 2, 0x06),
      Bytes(kWriteValue.begin(), kWriteValue.end() - 1), WriteRequest({}), {0xB1, 0x01, 0x14, 0x06, 0x01},
      {0xB1, 0x01, 0x14, 0x00, 0x00}, {0xB1, 0x00, 0x14, 0x05, 0x00}, {0xB0, 0x01, 0x00}, {0xB0, 0x02, 0x02},
      {0xB0, 0x00}, {0x03}};
  for (size_t i = 0; i < badSets.size(); ++i) EXPECT_FALSE(mHandle->SetFeature(badSets[i])) << i;
  for (Bytes badGet : {Bytes(5, 0xB2), Bytes(265, 0xB1), Bytes(4, 0xB0), Bytes(6, 0xB3)}) {
    EXPECT_FALSE(mHandle->GetFeature(badGet)) << badGet.size();
  }
  EXPECT_EQ(Get(0xB2, 6), (Bytes{0xB2, 0xF0, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(mHandle->SetFeature(WriteRequest(Bytes(261, 0x11))));
}

TEST_F(CSimI2CBoardTest, InjectedFaults)
{
  EnterLoader();
  mBoard->SetWrongEcho(true);
  ASSERT_TRUE(mHandle->SetFeature(kWriteValue) && mHandle->SetFeature(kReadValue));
  mClock.Advance(30);
  EXPECT_EQ(Get(0xB2, 6)[5], 0x14);
  EXPECT_EQ(Get(0xB1, 6)[5], 0x15);
  mBoard->SetFailStatus(true);
  EXPECT_EQ(Get(0xB2, 6)[1], 0xF3);
  mBoard->SetStuckBusy(true);
  ASSERT_TRUE(mHandle->SetFeature(kWriteValue));
  mClock.Advance(60000);
  EXPECT_EQ(Get(0xB2, 6)[1], 0xF1);

  const uint64_t next = mBoard->TransferCount() + 1;
  mBoard->FailTransfers(next);
  EXPECT_FALSE(mHandle->SetFeature(kWriteValue));
  const std::vector<SSimTransfer> trace = mBoard->Trace();
  ASSERT_EQ(trace.size(), next);
  EXPECT_TRUE(trace.back().set && trace.back().bytes == kWriteValue && !trace.back().ok);
  mBoard->DropOffBusAfter(next + 1);
  EXPECT_TRUE(mHandle->SetFeature(kWriteValue));
  EXPECT_FALSE(mHandle->SetFeature({0x02, 0x00}) || mBus.OpenHid(kPath));
  EXPECT_TRUE(mBus.EnumerateInterfacePaths(EDEVICECLASS_HID).empty());
}
