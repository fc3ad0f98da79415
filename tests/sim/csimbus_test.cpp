#include <gtest/gtest.h>

#include "common/cclock.h"
#include "sim/csimbus.h"

using namespace orv;
using namespace orv::sim;

namespace {

using Bytes = std::vector<uint8_t>;
using Events = std::vector<std::string>;

const std::string kNormalPath = MakeSimHidPath(0x4F52, 0x0101, 0, 0x2a1b3c4d);
const std::string kLoaderPath = MakeSimHidPath(0x4F52, 0x0102, 0, 0x11223344);
const std::string kMousePath = MakeSimHidPath(0x046D, 0xC077, 0, 0x0badf00d);

// Each event as "+path@time" or "-path@time" (bulk paths marked "bulk:").
class CRecordingSink : public CDeviceEventSink {
 public:
  explicit CRecordingSink(CClock& clock_I) : mClock(clock_I) {}
  void OnInterfaceArrival(const std::string& path_I, EDeviceClass class_I) override { Record("+", path_I, class_I); }
  void OnInterfaceRemoval(const std::string& path_I, EDeviceClass class_I) override { Record("-", path_I, class_I); }
  Events events;

 private:
  void Record(const char* sign_I, const std::string& path_I, EDeviceClass class_I)
  {
    events.push_back(sign_I + std::string(class_I == EDEVICECLASS_BULK ? "bulk:" : "") + path_I + "@" +
                     std::to_string(mClock.NowMs()));
  }
  CClock& mClock;
};

class CSimBusTest : public ::testing::Test {
 protected:
  CSimBusTest() : mScoped(mClock), mSink(mClock), mBus(std::make_shared<CSimBus>())
  {
    SSimHidBoardConfig config;
    config.normal = {0x4F52, 0x0101, 0x0100, 1, 0xFF0D, kNormalPath, "USB\\VID_4F52&PID_0101\\SN1"};
    config.loader = {0x4F52, 0x0102, 0x0001, 1, 0xFF0D, kLoaderPath, "USB\\VID_4F52&PID_0102\\SN1"};
    config.flashLoader.blocks = MakeSimBlocks(0x1000, 256, 4, 4);
    std::string error;
    mBoard = CSimHidBoard::Create(config, error);
    mMouse = std::make_shared<CSimHidCollection>(SSimHidIdentity{0x046D, 0xC077, 0x7200, 2, 1, kMousePath, ""});
    mBus->Subscribe(&mSink);
  }

  // Runs the event loop until nothing is pending.
  void RunEvents()
  {
    while (const std::optional<uint64_t> due = mBus->NextEventDueMs()) {
      if (*due > mClock.NowMs()) mClock.Advance(*due - mClock.NowMs());
      mBus->DeliverDueEvents();
    }
  }

  void EnterLoader()
  {
    std::unique_ptr<CHidDevice> handle = mBus->OpenHid(kNormalPath);
    ASSERT_TRUE(handle && handle->SetFeature({0xCC, 0x4F, 0x52}) && handle->SetFeature({0xCC, 0x52, 0x4F}));
  }

  CVirtualClock mClock;
  CScopedClock mScoped;
  CRecordingSink mSink;
  std::shared_ptr<CSimBus> mBus;
  std::shared_ptr<CSimHidBoard> mBoard;
  std::shared_ptr<CSimHidCollection> mMouse;
};

}  // namespace

TEST_F(CSimBusTest, ArrivalsAndReenumerationComeInOrderAfterTheDelay)
{
  ASSERT_TRUE(mBus->Attach(mBoard) && mBus->Attach(mMouse));
  EXPECT_FALSE(mBus->Attach(mBoard));
  EXPECT_EQ(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID), (Events{kNormalPath, kMousePath}));
  EXPECT_TRUE(mBus->EnumerateInterfacePaths(EDEVICECLASS_BULK).empty());
  EXPECT_EQ(mBus->NextEventDueMs(), 50u);
  mClock.Advance(49);
  EXPECT_EQ(mBus->DeliverDueEvents(), 0u);
  mClock.Advance(1);
  EXPECT_EQ(mBus->DeliverDueEvents(), 2u);
  EXPECT_EQ(mSink.events, (Events{"+" + kNormalPath + "@50", "+" + kMousePath + "@50"}));

  mSink.events.clear();
  mClock.Advance(50);
  EnterLoader();
  EXPECT_TRUE(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID) == Events{kMousePath});
  EXPECT_EQ(mBus->NextEventDueMs(), 150u);
  mClock.Advance(50);
  mBus->DeliverDueEvents();
  // The loader's arrival is announced before it happens: an event loop can sleep until then.
  EXPECT_EQ(mBus->NextEventDueMs(), 2150u);
  RunEvents();
  EXPECT_EQ(mSink.events, (Events{"-" + kNormalPath + "@150", "+" + kLoaderPath + "@2150"}));
  EXPECT_EQ(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID), (Events{kLoaderPath, kMousePath}));
}

TEST_F(CSimBusTest, DetachUnplugsAndKillsHandles)
{
  mBus->SetEventDelayMs(10);
  mBus->Attach(mMouse);
  RunEvents();
  std::unique_ptr<CHidDevice> mouse = mBus->OpenHid(kMousePath);
  SHidAttributes attributes;
  SHidCaps caps;
  ASSERT_TRUE(mouse && mouse->GetAttributes(attributes) && mouse->GetCaps(caps));
  EXPECT_EQ(attributes.productId, 0xC077);
  EXPECT_EQ(caps.usage, 2);
  Bytes report{0x02, 0x00};
  EXPECT_FALSE(mouse->SetFeature(report) || mouse->GetFeature(report));
  EXPECT_FALSE(mBus->OpenUsb(kMousePath));

  mClock.Advance(90);
  ASSERT_TRUE(mBus->Detach(mMouse));
  EXPECT_FALSE(mBus->Detach(mMouse));
  EXPECT_FALSE(mouse->GetAttributes(attributes));
  EXPECT_FALSE(mBus->OpenHid(kMousePath));
  RunEvents();
  mClock.Advance(90);
  ASSERT_TRUE(mBus->Attach(mMouse));
  EXPECT_FALSE(mouse->GetAttributes(attributes));
  EXPECT_TRUE(mBus->OpenHid(kMousePath));
  RunEvents();
  EXPECT_EQ(mSink.events, (Events{"+" + kMousePath + "@10", "-" + kMousePath + "@110", "+" + kMousePath + "@210"}));
}

TEST_F(CSimBusTest, DropsAreRemovalsAndAnArrivalThatNeverHappenedIsNotReported)
{
  mBus->Attach(mBoard);
  RunEvents();
  EnterLoader();
  mClock.Advance(1000);
  mBoard->DropOffBusAfter(1);
  RunEvents();
  EXPECT_EQ(mSink.events, (Events{"+" + kNormalPath + "@50", "-" + kNormalPath + "@1050"}));
  EXPECT_FALSE(mBus->NextEventDueMs());
  EXPECT_TRUE(mBus->EnumerateInterfacePaths(EDEVICECLASS_HID).empty());
}

TEST_F(CSimBusTest, UnsubscribedSinksHearNothing)
{
  CRecordingSink second(mClock);
  mBus->Subscribe(&second);
  mBus->Subscribe(&second);
  mBus->Attach(mMouse);
  RunEvents();
  mBus->Unsubscribe(&mSink);
  mBus->Detach(mMouse);
  RunEvents();
  EXPECT_EQ(mSink.events, (Events{"+" + kMousePath + "@50"}));
  EXPECT_EQ(second.events, (Events{"+" + kMousePath + "@50", "-" + kMousePath + "@100"}));
}
