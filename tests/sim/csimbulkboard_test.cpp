#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimbulkboard.h"
#include "sim/csimbus.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;
using Paths = std::vector<std::string>;

const std::string kBulkPath = MakeSimBulkPath(0x4F52, 0x0300, "5&1a2b3c&0&2");
const std::string kLoaderPath = MakeSimHidPath(0x4F52, 0x0301, 0, 0x77);
constexpr SUsbSetupPacket kSwitch{0x41, 0xF0, 0xFFFF, 0, 0};
constexpr SUsbSetupPacket kPing{0xC1, 0x01, 0, 0, 2};
constexpr SUsbSetupPacket kVendor{0x41, 0xF5, 0xFFFF, 0, 0};

class CEventLog : public CDeviceEventSink {
 public:
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override { Add('+', path_I, class_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override { Add('-', path_I, class_I); }
  Paths events;

 private:
  void Add(char sign_I, const std::string& path_I, EDeviceClass class_I)
  {
    events.push_back(sign_I + std::string(class_I == EDEVICECLASS_BULK ? "bulk " : "hid ") + path_I);
  }
};

class CSimBulkBoardTest : public ::testing::Test {
 protected:
  CSimBulkBoardTest() : mScoped(mClock)
  {
    SSimBulkBoardConfig config;
    config.vendorId = 0x4F52;
    config.productId = 0x0300;
    config.version = 0x0215;
    config.path = kBulkPath;
    config.parentId = "USB\\ROOT_HUB30\\4&1";
    config.loader = {0x4F52, 0x0301, 0x0001, 1, 0xFF0D, kLoaderPath, "USB\\VID_4F52&PID_0301\\5&1a2b3c&0&2"};
    config.flashLoader.blocks = MakeSimBlocks(0x1000, 256, 4, 4);
    std::string error;
    mBoard = CSimBulkBoard::Create(config, error);
    EXPECT_EQ(error, "");
    mBus.Attach(mBoard);
    mBus.Subscribe(&mLog);
  }

  CVirtualClock mClock;
  CScopedClock mScoped;
  CSimBus mBus;
  CEventLog mLog;
  std::shared_ptr<CSimBulkBoard> mBoard;
};

}  // namespace

TEST_F(CSimBulkBoardTest, AnswersItsDescriptorAndVendorRequests)
{
  EXPECT_EQ(kBulkPath, R"(\\?\USB#VID_4F52&PID_0300#5&1a2b3c&0&2#{103b887c-f5b0-46a6-856a-10cba7460490})");
  EXPECT_EQ(mBus.GetAncestorId(R"(USB\VID_4F52&PID_0300\5&1A2B3C&0&2)", 1), "USB\\ROOT_HUB30\\4&1");
  EXPECT_EQ(mBus.EnumerateInterfacePaths(EDEVICECLASS_BULK), Paths{kBulkPath});
  EXPECT_TRUE(mBus.EnumerateInterfacePaths(EDEVICECLASS_HID).empty());
  EXPECT_FALSE(mBus.OpenHid(kBulkPath));

  std::unique_ptr<CUsbDevice> usb = mBus.OpenUsb(kBulkPath);
  ASSERT_TRUE(usb);
  Bytes descriptor;
  ASSERT_TRUE(usb->GetDeviceDescriptor(descriptor));
  EXPECT_EQ(descriptor, (Bytes{0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x52, 0x4F, 0x00, 0x03, 0x15, 0x02,
                               0x01, 0x02, 0x03, 0x01}));
  Bytes scratch(128, 0);
  ASSERT_TRUE(usb->ControlTransfer(kPing, scratch));
  EXPECT_EQ(Bytes(scratch.begin(), scratch.begin() + 3), (Bytes{0x15, 0x02, 0x00}));
  EXPECT_TRUE(usb->ControlTransfer(kVendor, scratch));

  Bytes small(1, 0);
  const std::vector<SUsbSetupPacket> refused{{0x41, 0xF1, 0xFFFF, 0, 0}, {0xC1, 0x01, 0, 0, 3},
                                             {0x40, 0xF0, 0xFFFF, 0, 0}, {0x41, 0xF5, 0, 0, 0}};
  for (const SUsbSetupPacket& setup : refused) EXPECT_FALSE(usb->ControlTransfer(setup, scratch)) << int{setup.request};
  EXPECT_FALSE(usb->ControlTransfer(kPing, small));
  EXPECT_EQ(mBoard->Trace().size(), 8u);
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
}

TEST_F(CSimBulkBoardTest, SwitchRequestBringsItBackAsHidLoaderAndExitBringsItBack)
{
  mClock.Advance(100);
  mBus.DeliverDueEvents();
  std::unique_ptr<CUsbDevice> usb = mBus.OpenUsb(kBulkPath);
  Bytes scratch(128, 0);
  ASSERT_TRUE(usb && usb->ControlTransfer(kSwitch, scratch));
  EXPECT_FALSE(usb->ControlTransfer(kPing, scratch));
  EXPECT_FALSE(mBus.OpenUsb(kBulkPath));
  EXPECT_TRUE(mBus.EnumerateInterfacePaths(EDEVICECLASS_BULK).empty());
  mClock.Advance(150);
  mBus.DeliverDueEvents();
  EXPECT_EQ(mBus.NextEventDueMs(), 2150u);
  mClock.Advance(1950);
  EXPECT_EQ(mBus.EnumerateInterfacePaths(EDEVICECLASS_HID), Paths{kLoaderPath});
  mBus.DeliverDueEvents();
  EXPECT_EQ(mLog.events, (Paths{"+bulk " + kBulkPath, "-bulk " + kBulkPath, "+hid " + kLoaderPath}));

  std::unique_ptr<CHidDevice> hid = mBus.OpenHid(kLoaderPath);
  SHidAttributes attributes;
  ASSERT_TRUE(hid && hid->GetAttributes(attributes));
  EXPECT_EQ(attributes.productId, 0x0301);
  Bytes readValue{0x14, 0, 0, 0, 0};
  ASSERT_TRUE(hid->GetFeature(readValue));
  EXPECT_EQ(readValue, (Bytes{0x14, 0x00, 0x10, 0x00, 0x00}));
  EXPECT_EQ(mBoard->Loader()->Trace().size(), 1u);

  mLog.events.clear();
  ASSERT_TRUE(hid->SetFeature({0x15, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_FALSE(hid->GetFeature(readValue));
  mClock.Advance(2050);
  mBus.DeliverDueEvents();
  EXPECT_EQ(mLog.events, (Paths{"-hid " + kLoaderPath, "+bulk " + kBulkPath}));
  usb = mBus.OpenUsb(kBulkPath);
  ASSERT_TRUE(usb && usb->ControlTransfer(kPing, scratch));
}

TEST_F(CSimBulkBoardTest, FaultsFailTransfersButNotTheOpen)
{
  mBoard->FailTransfers(2);
  std::unique_ptr<CUsbDevice> usb = mBus.OpenUsb(kBulkPath);
  Bytes scratch(128, 0);
  Bytes descriptor;
  ASSERT_TRUE(usb && usb->ControlTransfer(kVendor, scratch));
  EXPECT_FALSE(usb->GetDeviceDescriptor(descriptor));
  EXPECT_TRUE(usb->GetDeviceDescriptor(descriptor));

  mBoard->SetNoWinUsb(true);
  usb = mBus.OpenUsb(kBulkPath);
  ASSERT_TRUE(usb);
  descriptor.clear();
  EXPECT_FALSE(usb->GetDeviceDescriptor(descriptor));
  EXPECT_TRUE(descriptor.empty());
  EXPECT_FALSE(usb->ControlTransfer(kSwitch, scratch));
  EXPECT_EQ(mBoard->Mode(), ESIMBOARDMODE_NORMAL);
  const std::vector<SSimUsbTransfer> trace = mBoard->Trace();
  ASSERT_EQ(trace.size(), 5u);
  EXPECT_TRUE(trace[1].setup.request == 0x06 && trace[1].setup.value == 0x0100 && !trace[1].ok);
  EXPECT_TRUE(trace[4].setup.request == 0xF0 && !trace[4].ok);
}
