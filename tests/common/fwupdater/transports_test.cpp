#include <gtest/gtest.h>

#include "common/cclock.h"
#include "common/fwupdater/cdiscovery.h"
#include "common/fwupdater/ci2cfldeviceinterface.h"
#include "common/fwupdater/csrec.h"
#include "sim/csimbulkboard.h"
#include "sim/csimbus.h"
#include "sim/csimi2cboard.h"
#include "tests/testsupport/crecordingnotifier.h"
#include "tests/testsupport/firmwaretext.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;

class CTransports : public ::testing::Test {
 protected:
  CTransports() : mBus(std::make_shared<CSimBus>()) { CFLDeviceInterface::SetProtocolType(0); }

  std::shared_ptr<CSimI2CTunnelBoard> AddTunnel()
  {
    const SSimI2CBoardConfig config{
        .identity = {0x4F52, 0x0101, 0x0100, 2, 0xFF0D, MakeSimHidPath(0x4F52, 0x0101, 1, 5), "USB\\VID_4F52&PID_0101\\A"},
        .flashLoader = {.blockSize = 128, .blocks = MakeSimBlocks(0x2000, 1024, 22, 4)}};
    std::shared_ptr<CSimI2CTunnelBoard> board = test::MustCreate(CSimI2CTunnelBoard::Create, config);
    mBus->Attach(board);
    return board;
  }

  std::vector<SRecSegment> Segments(const std::vector<uint8_t>& image_I)
  {
    CSRec file;
    EXPECT_TRUE(file.Load(mDir.Write("fw.touch", test::SRecordText({{0x2000, image_I}}))));
    return file.GetSegments();
  }

  test::CInstalledVirtualClock mClock;
  test::CScratchDir mDir;
  std::shared_ptr<CSimBus> mBus;
  test::CRecordingNotifier mNotifier;
};

}  // namespace

TEST_F(CTransports, TunnelLimitsAndFaultsEndInFailures)
{
  const std::shared_ptr<CSimI2CTunnelBoard> board = AddTunnel();
  CI2CFLDeviceInterface touch(board->Config().identity.path, mBus);
  EXPECT_FALSE(touch.SwitchFromBLMode(true));  // closed: nothing sent
  EXPECT_EQ(board->TransferCount(), 0u);
  ASSERT_TRUE(touch.Open());
  Bytes tooLong(262, 0x13);
  EXPECT_FALSE(touch.WriteReport(tooLong));
  EXPECT_EQ(board->TransferCount(), 0u);
  Bytes longRead(262, 0);
  longRead[0] = 0x1E;
  touch.ReadReport(longRead);
  ASSERT_FALSE(board->Trace().empty());
  EXPECT_EQ(board->Trace().front().bytes, (Bytes{0xB1, 0x01, 0x1E, 0x05, 0x01}));  // asked for 261 bytes

  Bytes value{0x13, 1, 2, 3, 4};
  board->SetWrongEcho(true);
  EXPECT_FALSE(touch.WriteReport(value));
  board->SetWrongEcho(false);
  board->SetFailStatus(true);
  EXPECT_FALSE(touch.WriteReport(value));
  board->SetFailStatus(false);
  // A board that stays busy is given up after five seconds, polled at most every 20 ms once it is clearly late.
  board->SetStuckBusy(true);
  const uint64_t before = board->TransferCount();
  const uint64_t start = mClock.NowMs();
  EXPECT_FALSE(touch.WriteReport(value));
  EXPECT_LE(board->TransferCount() - before, 251u);
  EXPECT_GE(mClock.NowMs() - start, 5020u);
  EXPECT_LE(mClock.NowMs() - start, 5045u);
  EXPECT_FALSE(touch.IsOpen()) << "a board busy through every poll is taken for hung";
}

// A tunnel whose answers come back one byte short of their report, as a router's wrapper may cut them: done for
// a write, the data asked for for a read.
class CShortAnswers : public CHidDevice {
 public:
  bool GetAttributes(SHidAttributes&) override { return true; }
  bool GetCaps(SHidCaps&) override { return true; }
  bool SetFeature(const std::vector<uint8_t>& report_I) override
  {
    mRequest = report_I;
    return true;
  }
  bool GetFeature(std::vector<uint8_t>& report_IO) override
  {
    if (mRequest.size() < 5 || report_IO.size() < 6) return false;
    report_IO[1] = report_IO[0] == 0xB2 ? 0xF0 : 0xF2;
    report_IO[3] = mRequest[3];
    report_IO[4] = mRequest[4];
    report_IO[5] = mRequest[2];
    report_IO.pop_back();
    return true;
  }

 private:
  std::vector<uint8_t> mRequest;
};

struct CShortAnsweringTunnel : CHidSystem {
  std::unique_ptr<CHidDevice> Open(const std::string&) override { return std::make_unique<CShortAnswers>(); }
  std::string GetAncestorId(const std::string&, uint8_t) override { return ""; }
};

TEST_F(CTransports, TunnelAnswersShortOfTheirReportAreFailedTransfers)
{
  CI2CFLDeviceInterface touch("tunnel", std::make_shared<CShortAnsweringTunnel>());
  ASSERT_TRUE(touch.Open());
  Bytes value{0x13, 1, 2, 3, 4};
  EXPECT_FALSE(touch.WriteReport(value));
  Bytes longest(261, 0);
  longest[0] = 0x1E;
  EXPECT_FALSE(touch.ReadReport(longest));
}

// A board stuck busy ends the flow in seconds, not hours; once it answers again, a new run of the same interface
// programs it through the tunnel.
TEST_F(CTransports, AnI2CTouchBoardIsSwitchedAndProgrammedThroughTheTunnelOnceItIsNoLongerStuckBusy)
{
  const std::shared_ptr<CSimI2CTunnelBoard> board = AddTunnel();
  CI2CFLDeviceInterface touch(board->Config().identity.path, mBus);
  ASSERT_TRUE(touch.QueryAttributes());
  ASSERT_TRUE(touch.SwitchToBLMode());
  EXPECT_FALSE(touch.IsOpen());
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_LOADER);
  ASSERT_TRUE(touch.Open());
  ASSERT_TRUE(touch.IsLoader());
  touch.SetNotifier(&mNotifier);
  touch.SetDataSourceFormat(EDATASOURCE_TOUCH);
  const std::vector<uint8_t> image = test::PatternBytes(31, 5000);
  ASSERT_TRUE(touch.InitializeDataForProgramming(Segments(image)));
  board->SetStuckBusy(true);
  const uint64_t start = mClock.NowMs();
  EXPECT_FALSE(touch.ProgramBoard());
  // Each exchange waits 5 s; retrying every one of them through every ladder took hours of the board's time.
  EXPECT_LT(mClock.NowMs() - start, 60000u);
  EXPECT_TRUE(mNotifier.HasError("ProgramBoardSRec: Failed to initialize to flash data"));
  board->SetStuckBusy(false);
  ASSERT_TRUE(touch.Open());
  ASSERT_TRUE(touch.ProgramBoard()) << ::testing::PrintToString(mNotifier.mErrors);
  EXPECT_EQ(board->FlashBytes(0x2000, 5000), image);
  EXPECT_EQ(board->RomMagic(), kSimValidMagic);
  // A status that cannot be read is no answer: the controller is not taken for one that left its loader.
  board->FailTransfers(board->TransferCount() + 1, 1000);
  EXPECT_FALSE(touch.SwitchFromBLMode(false));
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_LOADER);
  board->ClearFaults();
  ASSERT_TRUE(touch.SwitchFromBLMode(false));
  EXPECT_EQ(board->Mode(), ESIMBOARDMODE_NORMAL);
}

TEST_F(CTransports, ABulkBoardIsIdentifiedSwitchedAndReturnsAsAHidLoader)
{
  const SSimBulkBoardConfig config{
      .vendorId = 0x4F52, .productId = 0x0300, .version = 0x0102,
      .path = MakeSimBulkPath(0x4F52, 0x0300, "5&1a2b3c&0&2"), .parentId = "USB\\ROOT_HUB30\\1",
      .loader = {0x4F52, 0x0301, 1, 1, 0xFF0D, MakeSimHidPath(0x4F52, 0x0301, 0, 9), "USB\\ROOT_HUB30\\1"},
      .flashLoader = {.blocks = MakeSimBlocks(0x8000, 1024, 8, 4)}};
  const std::shared_ptr<CSimBulkBoard> board = test::MustCreate(CSimBulkBoard::Create, config);
  mBus->Attach(board);
  const std::string topology = mDir.Write("fw_loader.ini", R"([
    {"name":"Bulk tablet","penBoard":{"pid":"0300","interface":"BULK","usageId":"0","usagePg":"0"}},
    {"name":"Bulk tablet","loaderBoard":{"pid":"0301","usageId":"1","usagePg":"FF0D"}}])");
  CDiscovery discovery(mBus, mBus, mBus, topology);
  ASSERT_TRUE(discovery.Discover());
  ASSERT_EQ(discovery.GetDevices().size(), 1u);
  const std::shared_ptr<CFLDeviceInterface> pen = discovery.GetDevices()[0]->mPenInterface;
  ASSERT_TRUE(pen);
  EXPECT_EQ(pen->GetInterfaceType(), EINTERFACETYPE_BULK);
  EXPECT_EQ(pen->GetVersion(), 0x0102u);
  EXPECT_EQ(pen->GetUsage(), 0);

  ASSERT_TRUE(pen->Open());
  Bytes wrong(4, 0x41);
  EXPECT_FALSE(pen->WriteReport(wrong));
  test::CDebugCapture capture;
  EXPECT_FALSE(pen->SwitchFromBLMode(false));
  EXPECT_EQ(capture.CountAsserts("save_I"), 1u);
  ASSERT_TRUE(pen->SwitchToBLMode());
  EXPECT_FALSE(pen->IsOpen());
  ASSERT_FALSE(board->Trace().empty());
  const SSimUsbTransfer last = board->Trace().back();
  EXPECT_EQ(last.setup.request, 0xF0);
  EXPECT_EQ(last.setup.value, 0xFFFF);

  mClock.Advance(config.reenumerateMs + 100);
  ASSERT_TRUE(discovery.Discover());
  ASSERT_EQ(discovery.GetDevices().size(), 1u);
  EXPECT_TRUE(discovery.GetDevices()[0]->mIsLoader);
  EXPECT_EQ(discovery.GetDevices()[0]->mPenInterface->GetProductId(), 0x0301);
  EXPECT_EQ(discovery.GetDevices()[0]->mPenInterface->GetInterfaceType(), EINTERFACETYPE_HID);
}
