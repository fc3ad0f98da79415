#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimbus.h"
#include "sim/csimi2cboard.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kPath = MakeSimHidPath(0x4F52, 0x0210, 1, 0x51);

Bytes WriteRequest(const Bytes& inner_I)
{
  Bytes report(265, 0);
  report[0] = 0xB2;
  report[1] = 0x01;
  report[2] = static_cast<uint8_t>(inner_I.size());
  report[3] = static_cast<uint8_t>(inner_I.size() >> 8);
  std::copy(inner_I.begin(), inner_I.end(), report.begin() + 4);
  return report;
}

class CSimI2CBoardTest : public ::testing::Test {
 protected:
  CSimI2CBoardTest() : mScoped(mClock)
  {
    SSimI2CBoardConfig config;
    config.identity = {0x4F52, 0x0210, 0x0100, 1, 0xFF0D, kPath, "USB\\VID_4F52&PID_0210\\1"};
    config.enterMs = 200;
    config.leaveMs = 100;
    config.busyMs = 30;
    config.flashLoader.blocks = MakeSimBlocks(0x1000, 256, 4, 4);
    std::string error;
    mBoard = CSimI2CTunnelBoard::Create(config, error);
    EXPECT_EQ(error, "");
    mBus.Attach(mBoard);
    mHandle = mBus.OpenHid(kPath);
  }

  Bytes Get(uint8_t id_I, size_t length_I)
  {
    Bytes report(length_I, 0xFF);
    report[0] = id_I;
    EXPECT_TRUE(mHandle->GetFeature(report)) << std::hex << int{id_I};
    return report;
  }
  Bytes LoaderStatus() { return Get(0xB0, 3); }
  Bytes WriteStatus() { return Get(0xB2, 6); }
  Bytes ReadAnswer(size_t used_I)
  {
    Bytes answer = Get(0xB1, 266);
    answer.resize(used_I);
    return answer;
  }

  void EnterLoader()
  {
    ASSERT_TRUE(mHandle->SetFeature({0xB0, 0x00, 0x00}));
    mClock.Advance(200);
  }

  CVirtualClock mClock;
  CScopedClock mScoped;
  CSimBus mBus;
  std::shared_ptr<CSimI2CTunnelBoard> mBoard;
  std::unique_ptr<CHidDevice> mHandle;
};

}  // namespace

TEST_F(CSimI2CBoardTest, LoaderSwitchTakesEffectAfterTheDelay)
{
  ASSERT_TRUE(mHandle);
  EXPECT_EQ(LoaderStatus(), (Bytes{0xB0, 0x01, 0x01}));
  EXPECT_TRUE(mHandle->SetFeature({0x02, 0x00}));
  ASSERT_TRUE(mHandle->SetFeature({0xB0, 0x00, 0x00}));
  mClock.Advance(150);
  // Asking again does not put the switch off.
  ASSERT_TRUE(mHandle->SetFeature({0xB0, 0x00, 0x00}));
  mClock.Advance(49);
  EXPECT_EQ(LoaderStatus(), (Bytes{0xB0, 0x01, 0x01}));
  mClock.Advance(1);
  EXPECT_EQ(LoaderStatus(), (Bytes{0xB0, 0x00, 0x00}));
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_LOADER);
  EXPECT_TRUE(mHandle->SetFeature({0x02, 0x00}));
  EXPECT_FALSE(mHandle->SetFeature({0xB0, 0x01, 0x00}));

  ASSERT_TRUE(mHandle->SetFeature({0xB0, 0x01, 0x01}));
  mClock.Advance(99);
  EXPECT_EQ(LoaderStatus(), (Bytes{0xB0, 0x00, 0x00}));
  mClock.Advance(1);
  EXPECT_EQ(LoaderStatus(), (Bytes{0xB0, 0x01, 0x01}));
  // The collection never left the bus.
  EXPECT_EQ(mBus.EnumerateInterfacePaths(EDEVICECLASS_HID), std::vector<std::string>{kPath});
  EXPECT_EQ(mBus.NextEventDueMs(), 50u);
}

TEST_F(CSimI2CBoardTest, TunnelledWriteAndReadStayBusyThenAnswer)
{
  EnterLoader();
  ASSERT_TRUE(mHandle->SetFeature(WriteRequest({0x13, 0x20, 0x10, 0x00, 0x00})));
  EXPECT_EQ(WriteStatus(), (Bytes{0xB2, 0xF1, 0x00, 0x00, 0x00, 0x13}));
  mClock.Advance(29);
  EXPECT_EQ(WriteStatus()[1], 0xF1);
  mClock.Advance(1);
  EXPECT_EQ(WriteStatus(), (Bytes{0xB2, 0xF2, 0x00, 0x00, 0x00, 0x13}));

  ASSERT_TRUE(mHandle->SetFeature({0xB1, 0x01, 0x14, 0x05, 0x00}));
  EXPECT_EQ(ReadAnswer(4), (Bytes{0xB1, 0xF1, 0x00, 0x00}));
  mClock.Advance(30);
  EXPECT_EQ(ReadAnswer(10), (Bytes{0xB1, 0xF2, 0x00, 0x05, 0x00, 0x14, 0x20, 0x10, 0x00, 0x00}));
  EXPECT_EQ(Get(0xB1, 266)[10], 0x00);

  // A report the loader refuses ends failed.
  ASSERT_TRUE(mHandle->SetFeature(WriteRequest({0x12, 0x09, 0x00, 0x00, 0x00})));
  mClock.Advance(30);
  EXPECT_EQ(WriteStatus(), (Bytes{0xB2, 0xF3, 0x00, 0x00, 0x00, 0x12}));

  // The loader's own exit command switches the controller back too.
  ASSERT_TRUE(mHandle->SetFeature(WriteRequest({0x15, 0x01, 0x00, 0x00, 0x00})));
  mClock.Advance(200);
  EXPECT_EQ(WriteStatus()[1], 0xF2);
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
  ASSERT_TRUE(mHandle->SetFeature({0xB1, 0x01, 0x14, 0x05, 0x00}));
  mClock.Advance(30);
  EXPECT_EQ(ReadAnswer(6), (Bytes{0xB1, 0xF3, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(CSimI2CBoardTest, MalformedTunnelReportsFail)
{
  EnterLoader();
  Bytes badMarker = WriteRequest({0x13, 0x20, 0x10, 0x00, 0x00});
  badMarker[1] = 0x02;
  Bytes dirtyPadding = WriteRequest({0x13, 0x20, 0x10, 0x00, 0x00});
  dirtyPadding[200] = 0x01;
  Bytes tooLong = WriteRequest(Bytes(261, 0x11));
  tooLong[2] = 0x06;  // 262 bytes claimed
  Bytes shortReport = WriteRequest({0x13, 0x20, 0x10, 0x00, 0x00});
  shortReport.pop_back();
  const std::vector<Bytes> badSets{badMarker,        dirtyPadding,       tooLong, shortReport, WriteRequest({}),
                                   {0xB1, 0x01, 0x14, 0x06, 0x01},       {0xB1, 0x01, 0x14, 0x00, 0x00},
                                   {0xB1, 0x00, 0x14, 0x05, 0x00},       {0xB0, 0x02, 0x02}, {0xB0, 0x00}, {0x03}};
  for (size_t i = 0; i < badSets.size(); ++i) EXPECT_FALSE(mHandle->SetFeature(badSets[i])) << i;
  for (const Bytes& badGet : {Bytes(5, 0xB2), Bytes(265, 0xB1), Bytes(4, 0xB0), Bytes(6, 0xB3)}) {
    Bytes report = badGet;
    EXPECT_FALSE(mHandle->GetFeature(report)) << report.size();
  }
  EXPECT_EQ(WriteStatus(), (Bytes{0xB2, 0xF0, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(mHandle->SetFeature(WriteRequest(Bytes(261, 0x11))));
}

TEST_F(CSimI2CBoardTest, InjectedFaults)
{
  EnterLoader();
  const Bytes request = WriteRequest({0x13, 0x20, 0x10, 0x00, 0x00});
  mBoard->SetWrongEcho(true);
  ASSERT_TRUE(mHandle->SetFeature(request) && mHandle->SetFeature({0xB1, 0x01, 0x14, 0x05, 0x00}));
  mClock.Advance(30);
  EXPECT_EQ(WriteStatus()[5], 0x14);
  EXPECT_EQ(ReadAnswer(6)[5], 0x15);
  mBoard->SetWrongEcho(false);

  mBoard->SetFailStatus(true);
  EXPECT_EQ(WriteStatus()[1], 0xF3);
  mBoard->SetFailStatus(false);
  mBoard->SetStuckBusy(true);
  ASSERT_TRUE(mHandle->SetFeature(request));
  mClock.Advance(60000);
  EXPECT_EQ(WriteStatus()[1], 0xF1);
  mBoard->SetStuckBusy(false);

  const uint64_t next = mBoard->TransferCount() + 1;
  mBoard->FailTransfers(next);
  EXPECT_FALSE(mHandle->SetFeature(request));
  EXPECT_TRUE(mHandle->SetFeature(request));
  const std::vector<SSimTransfer> trace = mBoard->Trace();
  ASSERT_EQ(trace.size(), next + 1);
  EXPECT_TRUE(trace[next - 1].set && trace[next - 1].bytes == request && !trace[next - 1].ok);

  mBoard->DropOffBusAfter(next + 1);
  EXPECT_FALSE(mHandle->SetFeature({0x02, 0x00}));
  EXPECT_FALSE(mBus.OpenHid(kPath));
  EXPECT_TRUE(mBus.EnumerateInterfacePaths(EDEVICECLASS_HID).empty());
}
