#include <gtest/gtest.h>

#include "sim/csimbulkboard.h"
#include "sim/csimbus.h"
#include "tests/testsupport/testfiles.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;
using Events = std::vector<std::string>;

const std::string kBulkPath = MakeSimBulkPath(0x4F52, 0x0300, "5&1a2b3c&0&2");
const std::string kLoaderPath = MakeSimHidPath(0x4F52, 0x0301, 0, 0x77);
constexpr SUsbSetupPacket kSwitch{0x41, 0xF0, 0xFFFF, 0, 0};
constexpr SUsbSetupPacket kVersion{0xC1, 0x01, 0, 0, 2};
constexpr SUsbSetupPacket kVendor{0x41, 0xF5, 0xFFFF, 0, 0};

// Each event as "+bulk path" or "-hid path".
class CEventLog : public CDeviceEventSink {
 public:
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override { Add("+", path_I, class_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override { Add("-", path_I, class_I); }
  void Add(const std::string& sign_I, const std::string& path_I, EDeviceClass class_I)
  {
    events.push_back(sign_I + (class_I == EDEVICECLASS_BULK ? "bulk " : "hid ") + path_I);
  }
  Events events;
};

// A bulk board on the bus, a handle on it and a buffer for control transfers.
class CSimBulkBoardTest : public ::testing::Test {
 protected:
  CSimBulkBoardTest()
  {
    // These tests time the device's own delays; their transfers cost nothing here.
    const SSimBulkBoardConfig config{.vendorId = 0x4F52, .productId = 0x0300, .version = 0x0215, .path = kBulkPath,
                                     .parentId = "USB\\ROOT_HUB30\\4&1",
                                     .loader = {0x4F52, 0x0301, 0x0001, 1, 0xFF0D, kLoaderPath, ""},
                                     .transferMs = 0,
                                     .flashLoader = {.blocks = MakeSimBlocks(0x1000, 256, 4, 4)}};
    mBoard = test::MustCreate(CSimBulkBoard::Create, config);
    mBus.Attach(mBoard);
    mBus.Subscribe(&mLog);
    mUsb = mBus.OpenUsb(kBulkPath);
  }

  test::CInstalledVirtualClock mClock;
  CSimBus mBus;
  CEventLog mLog;
  std::shared_ptr<CSimBulkBoard> mBoard;
  std::unique_ptr<CUsbDevice> mUsb;
  Bytes mBuffer = Bytes(128, 0);
};

}  // namespace

TEST_F(CSimBulkBoardTest, AnswersItsDescriptorAndVendorRequests)
{
  EXPECT_EQ(kBulkPath, R"(\\?\USB#VID_4F52&PID_0300#5&1a2b3c&0&2#{103b887c-f5b0-46a6-856a-10cba7460490})");
  EXPECT_EQ(mBus.GetAncestorId(R"(USB\VID_4F52&PID_0300\5&1A2B3C&0&2)", 1), "USB\\ROOT_HUB30\\4&1");
  EXPECT_FALSE(mBus.OpenHid(kBulkPath));
  Bytes descriptor;
  ASSERT_TRUE(mUsb && mUsb->GetDeviceDescriptor(descriptor));
  EXPECT_EQ(descriptor, (Bytes{0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x52, 0x4F, 0x00, 0x03, 0x15, 0x02,
                               0x01, 0x02, 0x03, 0x01}));
  ASSERT_TRUE(mUsb->ControlTransfer(kVersion, mBuffer) && mUsb->ControlTransfer(kVendor, mBuffer));
  EXPECT_EQ(mBuffer, (Bytes{0x15, 0x02})) << "the answer alone, not the rest of the buffer";
  Bytes small(1, 0);
  EXPECT_FALSE(mUsb->ControlTransfer(kVersion, small));
  const std::vector<SUsbSetupPacket> refused{{0x41, 0xF1, 0xFFFF, 0, 0}, {0xC1, 0x01, 0, 0, 1},
                                             {0x40, 0xF0, 0xFFFF, 0, 0}, {0x41, 0xF5, 0, 0, 0}};
  for (const SUsbSetupPacket& bad : refused) EXPECT_FALSE(mUsb->ControlTransfer(bad, mBuffer)) << int{bad.request};
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
}

TEST_F(CSimBulkBoardTest, SwitchBringsTheLoaderAsHidAndItsExitTheBulkDeviceBack)
{
  ASSERT_TRUE(mUsb && mUsb->ControlTransfer(kSwitch, mBuffer));
  EXPECT_FALSE(mUsb->ControlTransfer(kVersion, mBuffer) || mBus.OpenUsb(kBulkPath));
  EXPECT_TRUE(mBus.EnumerateInterfacePaths(EDEVICECLASS_BULK).empty());
  mClock.Advance(100);
  mBus.DeliverDueEvents();
  EXPECT_EQ(mBus.NextEventDueMs(), 2050u);  // the loader arrives after 2000 ms
  mClock.Advance(1950);
  mBus.DeliverDueEvents();
  EXPECT_EQ(mLog.events, (Events{"+bulk " + kBulkPath, "-bulk " + kBulkPath, "+hid " + kLoaderPath}));

  mLog.events.clear();
  std::unique_ptr<CHidDevice> hid = mBus.OpenHid(kLoaderPath);
  ASSERT_TRUE(hid && hid->SetFeature({0x15, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(mBoard->Loader()->Trace().size(), 1u);
  mClock.Advance(2050);
  mBus.DeliverDueEvents();
  EXPECT_EQ(mLog.events, (Events{"-hid " + kLoaderPath, "+bulk " + kBulkPath}));
  mUsb = mBus.OpenUsb(kBulkPath);
  EXPECT_TRUE(mUsb && mUsb->ControlTransfer(kVersion, mBuffer));
}

TEST_F(CSimBulkBoardTest, FaultsFailTransfersButNotTheOpen)
{
  mBoard->FailTransfers(2);
  Bytes descriptor;
  ASSERT_TRUE(mUsb && mUsb->ControlTransfer(kVendor, mBuffer));
  EXPECT_FALSE(mUsb->GetDeviceDescriptor(descriptor));
  EXPECT_TRUE(mUsb->GetDeviceDescriptor(descriptor));
  mBoard->SetNoWinUsb(true);
  mUsb = mBus.OpenUsb(kBulkPath);
  descriptor.clear();
  ASSERT_TRUE(mUsb);
  EXPECT_FALSE(mUsb->GetDeviceDescriptor(descriptor) || mUsb->ControlTransfer(kSwitch, mBuffer));
  EXPECT_TRUE(descriptor.empty() && mBoard->Mode() == ESIMBOARDMODE_NORMAL);
  const std::vector<SSimUsbTransfer> trace = mBoard->Trace();
  ASSERT_EQ(trace.size(), 5u);
  EXPECT_TRUE(trace[1].setup.request == 0x06 && trace[1].setup.value == 0x0100 && !trace[1].ok);
  EXPECT_TRUE(trace[4].setup.request == 0xF0 && !trace[4].ok);
}
